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

// Registers the classes of the common controls the windows use. The library
// is loaded here rather than with the program, as a run that shows no
// window never needs it and loading it is a good part of a short run's start
// (under Wine, tens of milliseconds); by name, so that the version 6 the
// manifest asks for is the one loaded, as it would be for an import.
void RegisterCommonControls() {
    const HMODULE library = ::LoadLibraryW(L"comctl32.dll");
    if (library == nullptr) return;
    using Register = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
    // A FARPROC is cast through a plain function pointer to the right type.
    const Register registerClasses = reinterpret_cast<Register>(
        reinterpret_cast<void (*)()>(::GetProcAddress(library, "InitCommonControlsEx")));
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
    if (registerClasses != nullptr) registerClasses(&controls);
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
    if (!unattended) {
        RegisterCommonControls();
        return;
    }
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
