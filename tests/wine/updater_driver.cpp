// Drives the Windows updater through its own windows, for the tests under
// Wine. Starts the program, then carries out the steps in order:
//
//   message CAPTION TEXT ok|cancel
//       waits for a message box, compares its caption and text, presses
//       the button
//   dialog CAPTION VERSION FOLDER SENTENCE NOTE apply|end|close
//       waits for the confirmation dialog, compares its caption and the
//       texts of controls 1000 to 1003, then presses apply or end, or sends
//       the close command
//   second-instance
//       starts the program once more; it must exit with 3 and show no
//       window meanwhile
//   code-page NUMBER
//       the ANSI code page in effect must be NUMBER (932 Japanese, 1252 not)
//   show-dialog
//       waits for the confirmation dialog, prints its screen rectangle as
//       "rectangle LEFT TOP WIDTH HEIGHT" and ends the driver at once,
//       leaving the program running (for a picture of the dialog)
//   responsive
//       after apply: until a message box appears, keeps sending the dialog
//       messages, each of which must be answered within two seconds, and
//       reads its progress bar, which must move, while both buttons are
//       disabled
//   finished
//       once the update ends: the dialog's progress bar stands full and the
//       line under it says the update is complete
//   exit NUMBER
//       the program must end with NUMBER instead of 0
//
// and finally waits for the program to exit with 0 (or the given number).
// Texts are compared as UTF-16; an expected text ending in "*" matches any
// text that begins with what stands before it ("*" alone, any). Prints what
// it sees as UTF-8 and exits with 0 when every step matched, 1 otherwise
// (ending the program if it still runs), 2 on a bad command line.
//
//   updater_driver PROGRAM STEP...
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

// How long a window or an exit may take to appear: a guard against a hang,
// not a measure. Wine's first start in a prefix takes some seconds.
constexpr DWORD kPatienceMs = 60000;
constexpr DWORD kPollMs = 30;
constexpr int kFirstTextControl = 1000;
constexpr int kTextControlCount = 4;
constexpr int kMessageTextControl = 0xFFFF;
constexpr int kProgressControl = 1004;
constexpr int kProgressFileControl = 1005;
constexpr UINT kAnswerTimeoutMs = 2000;

// The confirmation dialog, once a dialog step found it.
HWND g_dialog = nullptr;

std::string Utf8(const std::wstring& text) {
    const int needed = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (needed <= 0) return std::string();
    std::string out(static_cast<size_t>(needed), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, out.data(), needed, nullptr, nullptr);
    out.resize(static_cast<size_t>(needed) - 1);
    return out;
}

// Prints prefix, text and suffix as one line of the driver's report.
void Say(const char* prefix, const std::wstring& text, const char* suffix = "\n") {
    std::printf("%s%s%s", prefix, Utf8(text).c_str(), suffix);
    std::fflush(stdout);
}

std::wstring WindowText(HWND window) {
    wchar_t text[2048] = {};
    ::GetWindowTextW(window, text, static_cast<int>(sizeof text / sizeof text[0]));
    return text;
}

std::wstring ControlText(HWND dialog, int id) {
    wchar_t text[2048] = {};
    ::GetDlgItemTextW(dialog, id, text, static_cast<int>(sizeof text / sizeof text[0]));
    return text;
}

// Compares one text and reports a difference. Returns true when equal, or
// when expected ends in '*' and actual begins with the text before it.
bool Matches(const char* what, const std::wstring& actual, const wchar_t* expected) {
    const std::wstring pattern = expected;
    const size_t prefix = pattern.size() - 1;
    if (actual == pattern) return true;
    if (!pattern.empty() && pattern.back() == L'*' && actual.compare(0, prefix, pattern, 0, prefix) == 0) return true;
    std::printf("MISMATCH %s\n  expected: %s\n  actual:   %s\n", what, Utf8(expected).c_str(), Utf8(actual).c_str());
    std::fflush(stdout);
    return false;
}

struct WindowSearch {
    DWORD processId;
    bool confirmationDialog;  // the dialog (it has control 1000), else a message box
    HWND found;
};

BOOL CALLBACK VisitWindow(HWND window, LPARAM parameter) {
    auto* search = reinterpret_cast<WindowSearch*>(parameter);
    DWORD processId = 0;
    ::GetWindowThreadProcessId(window, &processId);
    if (processId != search->processId || !::IsWindowVisible(window)) return TRUE;
    wchar_t className[16] = {};
    ::GetClassNameW(window, className, 16);
    if (std::wcscmp(className, L"#32770") != 0) return TRUE;
    if ((::GetDlgItem(window, kFirstTextControl) != nullptr) != search->confirmationDialog) return TRUE;
    search->found = window;
    return FALSE;
}

HWND FindProcessWindow(DWORD processId, bool confirmationDialog) {
    WindowSearch search{processId, confirmationDialog, nullptr};
    ::EnumWindows(VisitWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// Any visible top-level window of the process.
BOOL CALLBACK VisitAnyWindow(HWND window, LPARAM parameter) {
    auto* search = reinterpret_cast<WindowSearch*>(parameter);
    DWORD processId = 0;
    ::GetWindowThreadProcessId(window, &processId);
    if (processId != search->processId || !::IsWindowVisible(window)) return TRUE;
    search->found = window;
    return FALSE;
}

HWND WaitForWindow(const PROCESS_INFORMATION& process, bool confirmationDialog) {
    for (DWORD waited = 0; waited < kPatienceMs; waited += kPollMs) {
        if (HWND window = FindProcessWindow(process.dwProcessId, confirmationDialog)) return window;
        if (::WaitForSingleObject(process.hProcess, kPollMs) == WAIT_OBJECT_0) {
            return FindProcessWindow(process.dwProcessId, confirmationDialog);
        }
    }
    return nullptr;
}

// Waits until a window whose button was pressed is gone, so that the next
// step cannot find it again.
void WaitUntilGone(HWND window) {
    for (DWORD waited = 0; waited < kPatienceMs && ::IsWindow(window) && ::IsWindowVisible(window);
         waited += kPollMs) {
        ::Sleep(kPollMs);
    }
}

void PressButton(HWND dialog, int id) {
    ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(dialog, id)));
}

bool StartProgram(const wchar_t* program, PROCESS_INFORMATION* process) {
    std::wstring commandLine = std::wstring(L"\"") + program + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    if (!::CreateProcessW(program, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          process)) {
        std::printf("cannot start the program (error %lu)\n", ::GetLastError());
        return false;
    }
    return true;
}

// Waits for the process to end with exit code expected.
bool EndsWith(const PROCESS_INFORMATION& process, const char* what, DWORD expected) {
    if (::WaitForSingleObject(process.hProcess, kPatienceMs) != WAIT_OBJECT_0) {
        std::printf("%s did not end\n", what);
        return false;
    }
    DWORD code = 1;
    ::GetExitCodeProcess(process.hProcess, &code);
    std::printf("%s ended with %lu\n", what, code);
    return code == expected;
}

bool MessageStep(const PROCESS_INFORMATION& process, const wchar_t* caption, const wchar_t* text,
                 const wchar_t* button) {
    HWND box = WaitForWindow(process, false);
    if (box == nullptr) {
        std::printf("no message box appeared\n");
        return false;
    }
    const std::wstring actualCaption = WindowText(box);
    const std::wstring actualText = ControlText(box, kMessageTextControl);
    Say("message [", actualCaption, "]\n");
    Say("  ", actualText);
    bool matched = Matches("message caption", actualCaption, caption);
    matched = Matches("message text", actualText, text) && matched;
    PressButton(box, std::wcscmp(button, L"ok") == 0 ? IDOK : IDCANCEL);
    WaitUntilGone(box);
    return matched;
}

bool DialogStep(const PROCESS_INFORMATION& process, wchar_t** expected, const wchar_t* action) {
    HWND dialog = WaitForWindow(process, true);
    if (dialog == nullptr) {
        std::printf("no confirmation dialog appeared\n");
        return false;
    }
    g_dialog = dialog;
    const std::wstring caption = WindowText(dialog);
    Say("dialog [", caption, "]\n");
    bool matched = Matches("dialog caption", caption, expected[0]);
    for (int i = 0; i < kTextControlCount; ++i) {
        const std::wstring text = ControlText(dialog, kFirstTextControl + i);
        Say("  ", text);
        char what[32];
        std::snprintf(what, sizeof what, "control %d", kFirstTextControl + i);
        matched = Matches(what, text, expected[1 + i]) && matched;
    }
    if (std::wcscmp(action, L"apply") == 0) {
        PressButton(dialog, IDOK);
    } else if (std::wcscmp(action, L"end") == 0) {
        PressButton(dialog, IDCANCEL);
    } else {
        ::PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    }
    // The dialog stays while the update runs; its messages come next.
    return matched;
}

bool SecondInstanceStep(const wchar_t* program) {
    PROCESS_INFORMATION second{};
    if (!StartProgram(program, &second)) return false;
    bool quiet = true;
    while (::WaitForSingleObject(second.hProcess, kPollMs) == WAIT_TIMEOUT) {
        WindowSearch search{second.dwProcessId, false, nullptr};
        ::EnumWindows(VisitAnyWindow, reinterpret_cast<LPARAM>(&search));
        if (search.found != nullptr) {
            Say("the second instance shows a window [", WindowText(search.found), "]\n");
            quiet = false;
            break;
        }
    }
    // Another updater is running: exit status 3.
    const bool ended = EndsWith(second, "the second instance", 3);
    if (!ended) ::TerminateProcess(second.hProcess, 1);
    ::CloseHandle(second.hThread);
    ::CloseHandle(second.hProcess);
    return quiet && ended;
}

bool ShowDialogStep(const PROCESS_INFORMATION& process) {
    HWND dialog = WaitForWindow(process, true);
    if (dialog == nullptr) {
        std::printf("no confirmation dialog appeared\n");
        return false;
    }
    RECT rectangle{};
    ::GetWindowRect(dialog, &rectangle);
    std::printf("rectangle %ld %ld %ld %ld\n", rectangle.left, rectangle.top, rectangle.right - rectangle.left,
                rectangle.bottom - rectangle.top);
    return true;
}

bool ResponsiveStep(const PROCESS_INFORMATION& process) {
    if (g_dialog == nullptr) {
        std::printf("responsive: no dialog step came before\n");
        return false;
    }
    HWND progress = ::GetDlgItem(g_dialog, kProgressControl);
    int answers = 0;
    int moves = 0;
    // The buttons are disabled once the dialog takes the apply command,
    // which may come a moment after the driver sent it, and stay so.
    bool sawDisabled = false;
    bool enabledAgain = false;
    DWORD_PTR last = 0;
    for (DWORD waited = 0; waited < kPatienceMs; waited += kPollMs) {
        if (FindProcessWindow(process.dwProcessId, false) != nullptr) break;
        DWORD_PTR result = 0;
        if (!::SendMessageTimeoutW(g_dialog, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, kAnswerTimeoutMs, &result)) {
            if (FindProcessWindow(process.dwProcessId, false) != nullptr) break;
            std::printf("the dialog did not answer within %u ms\n", kAnswerTimeoutMs);
            return false;
        }
        ++answers;
        DWORD_PTR position = 0;
        ::SendMessageTimeoutW(progress, PBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG, kAnswerTimeoutMs, &position);
        if (position != last) ++moves;
        last = position;
        const bool enabled =
            ::IsWindowEnabled(::GetDlgItem(g_dialog, IDOK)) || ::IsWindowEnabled(::GetDlgItem(g_dialog, IDCANCEL));
        if (!enabled) {
            sawDisabled = true;
        } else if (sawDisabled && FindProcessWindow(process.dwProcessId, false) == nullptr) {
            enabledAgain = true;
        }
        ::Sleep(kPollMs / 3);
    }
    std::printf("the dialog answered %d times, its progress bar moved %d times\n", answers, moves);
    if (!sawDisabled || enabledAgain) std::printf("the buttons were not disabled while the update ran\n");
    return answers > 0 && moves >= 2 && sawDisabled && !enabledAgain;
}

bool FinishedStep() {
    if (g_dialog == nullptr) {
        std::printf("finished: no dialog step came before\n");
        return false;
    }
    HWND progress = ::GetDlgItem(g_dialog, kProgressControl);
    DWORD_PTR position = 0;
    DWORD_PTR highest = 0;
    ::SendMessageTimeoutW(progress, PBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG, kAnswerTimeoutMs, &position);
    ::SendMessageTimeoutW(progress, PBM_GETRANGE, FALSE, 0, SMTO_ABORTIFHUNG, kAnswerTimeoutMs, &highest);
    const std::wstring line = ControlText(g_dialog, kProgressFileControl);
    std::printf("finished: the bar at %lu of %lu\n", static_cast<unsigned long>(position),
                static_cast<unsigned long>(highest));
    Say("finished: the line says ", line);
    return position == highest && highest != 0 && line == L"\u66F4\u65B0\u306F\u5B8C\u4E86\u3057\u307E\u3057\u305F\u3002";
}

bool CodePageStep(const wchar_t* number) {
    const UINT expected = static_cast<UINT>(std::wcstoul(number, nullptr, 10));
    std::printf("code page %u\n", ::GetACP());
    return ::GetACP() == expected;
}

int Usage() {
    std::printf("usage: updater_driver PROGRAM STEP...\n");
    return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    _setmode(_fileno(stdout), _O_BINARY);
    if (argc < 2) return Usage();
    const wchar_t* program = argv[1];
    PROCESS_INFORMATION process{};
    bool started = false;
    bool passed = true;
    DWORD expectedExit = 0;
    for (int i = 2; i < argc && passed;) {
        const std::wstring step = argv[i];
        if (step == L"code-page" && i + 1 < argc) {
            passed = CodePageStep(argv[i + 1]);
            i += 2;
            continue;
        }
        if (step == L"exit" && i + 1 < argc) {
            expectedExit = static_cast<DWORD>(std::wcstoul(argv[i + 1], nullptr, 10));
            i += 2;
            continue;
        }
        if (!started) {
            if (!StartProgram(program, &process)) return 1;
            started = true;
        }
        if (step == L"message" && i + 3 < argc) {
            passed = MessageStep(process, argv[i + 1], argv[i + 2], argv[i + 3]);
            i += 4;
        } else if (step == L"dialog" && i + 6 < argc) {
            passed = DialogStep(process, argv + i + 1, argv[i + 6]);
            i += 7;
        } else if (step == L"show-dialog") {
            const bool shown = ShowDialogStep(process);
            if (!shown) ::TerminateProcess(process.hProcess, 1);
            ::CloseHandle(process.hThread);
            ::CloseHandle(process.hProcess);
            return shown ? 0 : 1;
        } else if (step == L"second-instance") {
            passed = SecondInstanceStep(program);
            i += 1;
        } else if (step == L"responsive") {
            passed = ResponsiveStep(process);
            i += 1;
        } else if (step == L"finished") {
            passed = FinishedStep();
            i += 1;
        } else {
            if (started) ::TerminateProcess(process.hProcess, 1);
            return Usage();
        }
    }
    if (!started && passed) {
        if (!StartProgram(program, &process)) return 1;
        started = true;
    }
    passed = passed && EndsWith(process, "the program", expectedExit);
    if (!passed) {
        // Whatever still shows is part of the report.
        if (HWND left = FindProcessWindow(process.dwProcessId, false)) {
            Say("left open: message [", WindowText(left), "]\n");
            Say("  ", ControlText(left, kMessageTextControl));
        }
        ::TerminateProcess(process.hProcess, 1);
    }
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    std::printf(passed ? "PASS\n" : "FAIL\n");
    return passed ? 0 : 1;
}
