// The POSIX program's command line, its run log and how an update is run
// from a terminal or a script.
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include "common/run_log.h"
#include "platform/platform_dialog.h"
#include "platform/platform_process.h"
#include "platform/posix/posix_text.h"
#include "platform/posix/posix_ui.h"

namespace {

std::FILE* g_log = nullptr;

void WriteLogLine(const char* line) {
    const std::string utf8 = OsTextAsUtf8(WithLinuxSeparators(line).c_str()) + "\n";
    std::fwrite(utf8.data(), 1, utf8.size(), g_log);
    std::fflush(g_log);
}

}  // namespace

int OsProgramArguments(int argc, char** argv, std::vector<std::string>* arguments) {
    arguments->assign(argv + (argc > 0 ? 1 : 0), argv + argc);
    return 1;
}

const char* OsProgramName() {
    return "updater";
}

const char* OsUsageNotes() {
    return "Without a terminal and without --yes every question is answered Cancel.\n"
           "Registry file: $UPDATER_REGISTRY, else $XDG_CONFIG_HOME/updater/registry.reg,\n"
           "else ~/.config/updater/registry.reg.\n"
           "Shortcuts: desktop entries in $XDG_DATA_HOME/applications, else\n"
           "~/.local/share/applications.\n";
}

void OsPrepareUpdate(int unattended) {
    // A reader of the output that goes away (updater --yes | head -1) must
    // not end an update halfway: failed writes to it are passed over.
    signal(SIGPIPE, SIG_IGN);
    if (unattended) SetPosixAnswerMode(kAnswerYes);
    SetDiagnosticSink(PrintDiagnosticLine);
    if (isatty(STDERR_FILENO)) SetProgressSink(ShowProgressOnTerminal);
}

int OsOpenRunLog(const char* path) {
    g_log = std::fopen(path, "a");
    if (g_log == nullptr) return 0;
    SetLogFileSink(WriteLogLine);
    return 1;
}

void OsCloseRunLog() {
    if (g_log == nullptr) return;
    SetLogFileSink(nullptr);
    std::fclose(g_log);
    g_log = nullptr;
}

int OsEnterArgumentFolder(const char* path) {
    return chdir(path) == 0;
}

int OsArgumentAsText(const char* utf8, std::string* text) {
    return Utf8ToCp932(utf8, text);
}

int OsFileNameKey(const char* name, std::string* key) {
    return ToNativePath(name, key);
}
