// The Windows program's command line, its run log and how an update is run:
// in its windows, or unattended without any.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <new>
#include <string>
#include <vector>

#include "common/run_log.h"
#include "platform/platform_dialog.h"
#include "platform/platform_process.h"
#include "platform/win32/win32_text.h"
#include "platform/win32/win32_ui.h"

namespace {

HANDLE g_log = INVALID_HANDLE_VALUE;

// Appends line to the log file in UTF-8, with a Windows line end.
void WriteLogLine(const char* line) {
    const std::string utf8 = OsTextAsUtf8(line) + "\r\n";
    DWORD written = 0;
    ::WriteFile(g_log, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
}

void WriteDiagnosticLine(const char* line) {
    OsWriteError((std::string(line) + "\n").c_str());
}

}  // namespace

int OsProgramArguments(int, char**, std::vector<std::string>* arguments) {
    int count = 0;
    wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (wide == nullptr) return 0;
    int read = 1;
    for (int i = 1; i < count && read; ++i) {
        std::string utf8;
        read = WideToUtf8(wide[i], &utf8);
        if (read) arguments->push_back(std::move(utf8));
    }
    ::LocalFree(wide);
    return read;
}

const char* OsProgramName() {
    return "updater.exe";
}

const char* OsUsageNotes() {
    return "With --yes no window is shown: every message, the dialog's texts and each\n"
           "question with its answer go to standard output.\n";
}

void OsPrepareUpdate(int unattended) {
    // The manifest asks for common controls 6; register their classes.
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
    ::InitCommonControlsEx(&controls);
    if (!unattended) return;
    SetWin32Unattended(true);
    SetDiagnosticSink(WriteDiagnosticLine);
}

int OsOpenRunLog(const char* path) {
    std::wstring wide;
    if (!Utf8ToWide(path, &wide)) return 0;
    g_log = ::CreateFileW(wide.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
    if (g_log == INVALID_HANDLE_VALUE) return 0;
    SetLogFileSink(WriteLogLine);
    return 1;
}

void OsCloseRunLog() {
    if (g_log == INVALID_HANDLE_VALUE) return;
    SetLogFileSink(nullptr);
    ::CloseHandle(g_log);
    g_log = INVALID_HANDLE_VALUE;
}

int OsEnterArgumentFolder(const char* path) {
    std::wstring wide;
    return Utf8ToWide(path, &wide) && ::SetCurrentDirectoryW(wide.c_str());
}

int OsArgumentAsText(const char* utf8, std::string* text) {
    std::wstring wide;
    return Utf8ToWide(utf8, &wide) && WideToCp932(wide.c_str(), text);
}

int OsFileNameKey(const char* name, std::string* key) {
    std::wstring wide;
    return Cp932ToWide(name, &wide) && WideToUpperCase(&wide) && WideToUtf8(wide.c_str(), key);
}
