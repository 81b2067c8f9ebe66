// Message boxes, questions and the confirmation dialog on the terminal.
//
// Texts are printed as UTF-8, caption first. With --yes every question is
// answered OK; with no terminal and no --yes, every question is answered
// Cancel, so an unattended run never applies anything by accident.
#include "platform/posix/posix_ui.h"

#include <unistd.h>

#include <cstdio>
#include <string>

#include "platform/platform.h"
#include "platform/posix/posix_text.h"

namespace {

PosixAnswerMode g_answerMode = kAnswerOnTerminal;

std::string ToUtf8OrRaw(const char* text) {
    std::string utf8;
    return Cp932ToUtf8(text, &utf8) ? utf8 : std::string(text);
}

}  // namespace

void SetPosixAnswerMode(PosixAnswerMode mode) {
    g_answerMode = mode;
}

void PrintCaptionedText(const char* caption, const char* text) {
    std::printf("[%s]\n%s\n", ToUtf8OrRaw(caption).c_str(), ToUtf8OrRaw(text).c_str());
    std::fflush(stdout);
}

int AskOnTerminal(const char* utf8Question) {
    if (g_answerMode == kAnswerYes) {
        std::printf("%s yes\n", utf8Question);
        std::fflush(stdout);
        return 1;
    }
    if (!isatty(STDIN_FILENO)) return 0;
    for (;;) {
        std::printf("%s [y/n] ", utf8Question);
        std::fflush(stdout);
        char line[64];
        if (std::fgets(line, sizeof line, stdin) == nullptr) return 0;
        if (line[0] == 'y' || line[0] == 'Y') return 1;
        if (line[0] == 'n' || line[0] == 'N') return 0;
    }
}

void OsShowMessage(PlatformWindow*, const char* caption, const char* text) {
    PrintCaptionedText(caption, text);
}

int OsAskOkCancel(const char* caption, const char* text) {
    PrintCaptionedText(caption, text);
    return AskOnTerminal("OK?");
}

int OsRunUpdateDialog(PlatformModule*, const char* caption, const char* const controlTexts[kDialogTextCount],
                      int (*apply)(PlatformWindow* dialog)) {
    std::printf("[%s]\n", ToUtf8OrRaw(caption).c_str());
    std::printf("%s: %s\n", ToUtf8OrRaw("現在のバージョン").c_str(), ToUtf8OrRaw(controlTexts[0]).c_str());
    std::printf("%s: %s\n", ToUtf8OrRaw("インストール先").c_str(), ToUtf8OrRaw(controlTexts[1]).c_str());
    std::printf("%s\n%s\n", ToUtf8OrRaw(controlTexts[2]).c_str(), ToUtf8OrRaw(controlTexts[3]).c_str());
    std::fflush(stdout);
    if (!AskOnTerminal(ToUtf8OrRaw("適用しますか？ (y: 適用 / n: 終了)").c_str())) return 0;
    return apply(nullptr);
}
