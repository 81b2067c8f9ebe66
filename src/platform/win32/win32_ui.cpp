// The user interface on Windows: message boxes and the confirmation dialog
// (template 101), through the W functions; or, unattended, their plain lines
// on standard output.
//
// Divisions: unattended runs, message boxes, the confirmation dialog.
#include "platform/win32/win32_ui.h"

#include <windows.h>
#include <commctrl.h>

#include <string>

#include "common/plain_dialog.h"
#include "common/run_log.h"
#include "platform/platform_dialog.h"
#include "platform/win32/win32_text.h"
#include "resources/resource_ids.h"

static_assert(kPlainDialogTextCount == kDialogTextCount);

// Unattended runs -------------------------------------------------------------------

namespace {

bool g_unattended = false;

HWND WindowOf(PlatformWindow* window) {
    return reinterpret_cast<HWND>(window);
}

}  // namespace

void SetWin32Unattended(bool unattended) {
    g_unattended = unattended;
}

// Message boxes --------------------------------------------------------------------

void OsShowMessage(PlatformWindow* owner, const char* caption, const char* text) {
    if (g_unattended) {
        OsWriteOutput(PlainMessage(caption, text).c_str());
        return;
    }
    ::MessageBoxW(WindowOf(owner), Cp932ToWideReplacing(text).c_str(), Cp932ToWideReplacing(caption).c_str(), MB_OK);
}

int OsAskOkCancel(const char* caption, const char* text) {
    if (g_unattended) {
        OsWriteOutput((PlainMessage(caption, text) + PlainAnswered(kPlainOkQuestion, true)).c_str());
        return 1;
    }
    return ::MessageBoxW(nullptr, Cp932ToWideReplacing(text).c_str(), Cp932ToWideReplacing(caption).c_str(),
                         MB_OKCANCEL) == IDOK;
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

constexpr int kProgressRange = 1000;

// The dialog while its update runs; nullptr before and after.
HWND g_applyingDialog = nullptr;

// Hands every waiting message to its window, so that the dialog repaints and
// answers while the update runs on its thread. A quit message is put back
// for the dialog's own loop.
void PumpMessages(HWND dialog) {
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            ::PostQuitMessage(static_cast<int>(message.wParam));
            return;
        }
        if (!::IsDialogMessageW(dialog, &message)) {
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
    }
}

// The progress sink while the update runs: the bar, the file's name, and the
// messages that waited meanwhile.
void ShowProgressInDialog(const char* name, uint64_t done, uint64_t total) {
    HWND dialog = g_applyingDialog;
    if (dialog == nullptr) return;
    const uint64_t position = total == 0 ? kProgressRange : done * kProgressRange / total;
    ::SendDlgItemMessageW(dialog, IDC_PROGRESS, PBM_SETPOS, static_cast<WPARAM>(position), 0);
    ::SetDlgItemTextW(dialog, IDC_PROGRESS_FILE, Cp932ToWideReplacing(name).c_str());
    PumpMessages(dialog);
}

// Enables or disables what could end the dialog: both buttons and the close
// box.
void EnableEnding(HWND dialog, bool enable) {
    ::EnableWindow(::GetDlgItem(dialog, IDOK), enable);
    ::EnableWindow(::GetDlgItem(dialog, IDCANCEL), enable);
    ::EnableMenuItem(::GetSystemMenu(dialog, FALSE), SC_CLOSE,
                     static_cast<UINT>(MF_BYCOMMAND | (enable ? MF_ENABLED : MF_GRAYED)));
}

void OnInitDialog(HWND dialog, const UpdateDialogContext* context) {
    ::SetWindowLongPtrW(dialog, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(context));
    ::SetWindowTextW(dialog, Cp932ToWideReplacing(context->caption).c_str());
    for (int i = 0; i < kDialogTextCount; ++i) {
        ::SetDlgItemTextW(dialog, kTextControlIds[i], Cp932ToWideReplacing(context->controlTexts[i]).c_str());
    }
    ::SendDlgItemMessageW(dialog, IDC_PROGRESS, PBM_SETRANGE32, 0, kProgressRange);
}

// Runs the update on the dialog's thread; the progress sink keeps the dialog
// alive meanwhile, and nothing can end it until the update is over.
void OnApply(HWND dialog) {
    if (g_applyingDialog != nullptr) return;
    const auto* context = reinterpret_cast<const UpdateDialogContext*>(::GetWindowLongPtrW(dialog, GWLP_USERDATA));
    g_applyingDialog = dialog;
    EnableEnding(dialog, false);
    SetProgressSink(ShowProgressInDialog);
    const int result = context->apply(reinterpret_cast<PlatformWindow*>(dialog));
    SetProgressSink(nullptr);
    g_applyingDialog = nullptr;
    ::EndDialog(dialog, result);
}

void OnCommand(HWND dialog, int id) {
    switch (id) {
    case IDOK:
        OnApply(dialog);
        break;
    case IDCANCEL:  // the end button, Escape, and the close command
        if (g_applyingDialog == nullptr) ::EndDialog(dialog, kDialogEnded);
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
    if (g_unattended) {
        OsWriteOutput((PlainDialog(caption, controlTexts) + PlainAnswered(kPlainApplyQuestion, true)).c_str());
        return apply(nullptr);
    }
    const UpdateDialogContext context{caption, controlTexts, apply};
    const INT_PTR result = ::DialogBoxParamW(reinterpret_cast<HINSTANCE>(module), MAKEINTRESOURCEW(IDD_UPDATE),
                                             nullptr, UpdateDialogProc, reinterpret_cast<LPARAM>(&context));
    return result == -1 ? kDialogNotShown : static_cast<int>(result);
}
