// Message boxes, questions and the confirmation dialog on the terminal.
//
// Texts are printed as the plain lines of plain_dialog.h, in UTF-8. With
// --yes every question is answered OK; with no terminal and no --yes, every
// question is answered Cancel, so an unattended run never applies anything by
// accident.
#include "platform/posix/posix_ui.h"

#include <unistd.h>

#include <cstdio>
#include <string>

#include "common/plain_dialog.h"
#include "common/sjis_text.h"
#include "platform/platform_dialog.h"
#include "platform/posix/posix_text.h"

static_assert(kPlainDialogTextCount == kDialogTextCount);

namespace {

PosixAnswerMode g_answerMode = kAnswerOnTerminal;
bool g_progressShown = false;  // a progress line stands on standard error

// Ends the progress line, so that what follows starts on a line of its own.
void EndProgressLine() {
    if (!g_progressShown) return;
    std::fputs("\r\x1b[K", stderr);
    std::fflush(stderr);
    g_progressShown = false;
}

// Asks question (Shift_JIS), or answers it at once with --yes. Returns 1 for
// yes; 0 for no, or when standard input is no terminal or ends.
int Ask(const char* question) {
    if (g_answerMode == kAnswerYes) {
        OsWriteOutput(PlainAnswered(question, true).c_str());
        return 1;
    }
    if (!isatty(STDIN_FILENO)) return 0;
    for (;;) {
        OsWriteOutput((std::string(question) + " [y/n] ").c_str());
        char line[64];
        if (std::fgets(line, sizeof line, stdin) == nullptr) return 0;
        if (line[0] == 'y' || line[0] == 'Y') return 1;
        if (line[0] == 'n' || line[0] == 'N') return 0;
    }
}

}  // namespace

void SetPosixAnswerMode(PosixAnswerMode mode) {
    g_answerMode = mode;
}

void ShowProgressOnTerminal(const char* name, uint64_t done, uint64_t total) {
    const unsigned percent = total == 0 ? 100 : static_cast<unsigned>(done * 100 / total);
    char line[kPathFieldSize];
    FormatText(line, sizeof line, "\r\x1b[K%3u%% %s", percent, WithLinuxSeparators(name).c_str());
    OsWriteError(line);
    g_progressShown = true;
}

void PrintDiagnosticLine(const char* line) {
    EndProgressLine();
    OsWriteError((WithLinuxSeparators(line) + "\n").c_str());
}

void OsShowMessage(PlatformWindow*, const char* caption, const char* text) {
    EndProgressLine();
    OsWriteOutput(PlainMessage(caption, text).c_str());
}

int OsAskOkCancel(const char* caption, const char* text) {
    OsWriteOutput(PlainMessage(caption, text).c_str());
    return Ask(kPlainOkQuestion);
}

int OsRunUpdateDialog(PlatformModule*, const char* caption, const char* const controlTexts[kDialogTextCount],
                      int (*apply)(PlatformWindow* dialog)) {
    OsWriteOutput(PlainDialog(caption, controlTexts).c_str());
    if (!Ask(kPlainApplyQuestion)) return kDialogEnded;
    const int result = apply(nullptr);
    EndProgressLine();
    return result;
}
