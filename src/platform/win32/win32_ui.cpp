// The user interface on Windows: message boxes and the confirmation dialog
// (template 101), through the W functions.
//
// Divisions: texts, message boxes, the confirmation dialog.
#include <windows.h>

#include <string>

#include "platform/platform.h"
#include "platform/win32/win32_text.h"
#include "resources/resource_ids.h"

namespace {

// Texts -------------------------------------------------------------------------

// text as UTF-16 for display. A text that is not valid Shift_JIS, say from a
// damaged script, is still shown, with replacement characters.
std::wstring DisplayText(const char* text) {
    std::wstring wide;
    if (Cp932ToWide(text, &wide)) return wide;
    const int needed = ::MultiByteToWideChar(932, 0, text, -1, nullptr, 0);
    if (needed <= 0) return std::wstring();
    wide.assign(static_cast<size_t>(needed), L'\0');
    ::MultiByteToWideChar(932, 0, text, -1, wide.data(), needed);
    wide.resize(static_cast<size_t>(needed) - 1);
    return wide;
}

HWND WindowOf(PlatformWindow* window) {
    return reinterpret_cast<HWND>(window);
}

}  // namespace

// Message boxes --------------------------------------------------------------------

void OsShowMessage(PlatformWindow* owner, const char* caption, const char* text) {
    ::MessageBoxW(WindowOf(owner), DisplayText(text).c_str(), DisplayText(caption).c_str(), MB_OK);
}

int OsAskOkCancel(const char* caption, const char* text) {
    return ::MessageBoxW(nullptr, DisplayText(text).c_str(), DisplayText(caption).c_str(), MB_OKCANCEL) == IDOK;
}

// The confirmation dialog ---------------------------------------------------------

namespace {

// What OsRunUpdateDialog hands the dialog when it opens.
struct UpdateDialogContext {
    const char* caption;
    const char* const* controlTexts;  // kDialogTextCount texts, in the order of kTextControlIds
    int (*apply)(PlatformWindow* dialog);
};

constexpr int kTextControlIds[kDialogTextCount] = {
    IDC_INSTALLED_VERSION,
    IDC_INSTALL_FOLDER,
    IDC_UPDATE_SENTENCE,
    IDC_SAVE_NOTE,
};

void OnInitDialog(HWND dialog, const UpdateDialogContext* context) {
    ::SetWindowLongPtrW(dialog, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(context));
    ::SetWindowTextW(dialog, DisplayText(context->caption).c_str());
    for (int i = 0; i < kDialogTextCount; ++i) {
        ::SetWindowTextW(::GetDlgItem(dialog, kTextControlIds[i]), DisplayText(context->controlTexts[i]).c_str());
    }
}

void OnCommand(HWND dialog, int id) {
    switch (id) {
    case IDOK: {
        const auto* context = reinterpret_cast<const UpdateDialogContext*>(::GetWindowLongPtrW(dialog, GWLP_USERDATA));
        // The update runs here, on the dialog's thread; the dialog waits.
        ::EndDialog(dialog, context->apply(reinterpret_cast<PlatformWindow*>(dialog)));
        break;
    }
    case IDCANCEL:  // the end button, and the close command
        ::EndDialog(dialog, 0);
        break;
    }
}

// Returns 0 for every message: after WM_INITDIALOG that keeps the system from
// setting the focus, and the commands need nothing more from it.
INT_PTR CALLBACK UpdateDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        OnInitDialog(dialog, reinterpret_cast<const UpdateDialogContext*>(lParam));
        break;
    case WM_COMMAND:
        OnCommand(dialog, LOWORD(wParam));
        break;
    }
    return 0;
}

}  // namespace

int OsRunUpdateDialog(PlatformModule* module, const char* caption, const char* const controlTexts[kDialogTextCount],
                      int (*apply)(PlatformWindow* dialog)) {
    const UpdateDialogContext context{caption, controlTexts, apply};
    const INT_PTR result = ::DialogBoxParamW(reinterpret_cast<HINSTANCE>(module), MAKEINTRESOURCEW(IDD_UPDATE),
                                             nullptr, UpdateDialogProc, reinterpret_cast<LPARAM>(&context));
    return result == 1 ? 1 : 0;
}
