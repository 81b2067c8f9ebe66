// Standard output and standard error: UTF-8 into pipes and files, UTF-16
// onto a console, so that Japanese texts read right either way.
//
// The updater is a GUI program: started from a console it has no standard
// handles of its own, so it attaches to its parent's console on first use.
#include <windows.h>

#include <string>

#include "platform/platform_dialog.h"
#include "platform/win32/win32_text.h"

namespace {

bool IsUsable(HANDLE handle) {
    return handle != nullptr && handle != INVALID_HANDLE_VALUE;
}

// The standard handle which, after attaching to the parent's console once
// if this process was started without one.
HANDLE StandardHandle(DWORD which) {
    static bool attachTried = false;
    if (!IsUsable(::GetStdHandle(which)) && !attachTried) {
        attachTried = true;
        const HANDLE output = ::GetStdHandle(STD_OUTPUT_HANDLE);
        const HANDLE error = ::GetStdHandle(STD_ERROR_HANDLE);
        if (::AttachConsole(ATTACH_PARENT_PROCESS)) {
            // Keep a redirection the process was started with; give the
            // console to the handles that had nothing.
            const HANDLE console = ::CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                                                 FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                                 0, nullptr);
            ::SetStdHandle(STD_OUTPUT_HANDLE, IsUsable(output) ? output : console);
            ::SetStdHandle(STD_ERROR_HANDLE, IsUsable(error) ? error : console);
        }
    }
    return ::GetStdHandle(which);
}

void WriteAll(HANDLE handle, const char* bytes, size_t count) {
    while (count > 0) {
        DWORD written = 0;
        const DWORD chunk = count > 0x10000000u ? 0x10000000u : static_cast<DWORD>(count);
        if (!::WriteFile(handle, bytes, chunk, &written, nullptr) || written == 0) return;
        bytes += written;
        count -= written;
    }
}

// Writes wide onto the console, or as UTF-8 into a pipe or a file.
void WriteWide(DWORD which, const std::wstring& wide) {
    const HANDLE handle = StandardHandle(which);
    if (!IsUsable(handle)) return;
    if (wide.empty()) return;
    DWORD mode = 0;
    if (::GetConsoleMode(handle, &mode)) {
        DWORD written = 0;
        ::WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
        return;
    }
    std::string utf8;
    if (WideToUtf8(wide.c_str(), &utf8)) WriteAll(handle, utf8.data(), utf8.size());
}

void WriteConverted(DWORD which, const char* text) {
    WriteWide(which, Cp932ToWideReplacing(text));
}

}  // namespace

int OsTextToUtf8(const char* text, std::string* utf8) {
    std::wstring wide;
    return Cp932ToWide(text, &wide) && WideToUtf8(wide.c_str(), utf8);
}

std::string OsTextAsUtf8(const char* text) {
    std::string utf8;
    return WideToUtf8(Cp932ToWideReplacing(text).c_str(), &utf8) ? utf8 : std::string();
}

void OsWriteOutput(const char* text) {
    WriteConverted(STD_OUTPUT_HANDLE, text);
}

void OsWriteUtf8Output(const char* utf8) {
    std::wstring wide;
    if (Utf8ToWide(utf8, &wide)) WriteWide(STD_OUTPUT_HANDLE, wide);
}

void OsWriteError(const char* text) {
    WriteConverted(STD_ERROR_HANDLE, text);
}

void OsWriteUtf8Error(const char* utf8) {
    std::wstring wide;
    if (Utf8ToWide(utf8, &wide)) WriteWide(STD_ERROR_HANDLE, wide);
}
