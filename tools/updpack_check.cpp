// updpack check [FOLDER] and the options updpack knows.
#include <cstring>

#include "check/script_check.h"
#include "check/check_command.h"
#include "updpack.h"

int CheckUpdate(const char* folder, int strict) {
    return CheckScriptOf(folder != nullptr ? folder : ".", strict) == kCheckPassed ? kUpdpackDone : kUpdpackFailed;
}

bool IsCommand(const char* command) {
    for (const char* known : {"create", "list", "extract", "verify", "check", "diff", "try"}) {
        if (std::strcmp(command, known) == 0) return true;
    }
    return false;
}

const char* UnknownOption(const char* command, int count, char** arguments) {
    // diff and try read options with values, and tell the unknown ones.
    if (std::strcmp(command, "diff") == 0 || std::strcmp(command, "try") == 0) return nullptr;
    const bool create = std::strcmp(command, "create") == 0;
    const bool check = std::strcmp(command, "check") == 0;
    const bool extract = std::strcmp(command, "extract") == 0;
    for (int i = 0; i < count; ++i) {
        const char* argument = arguments[i];
        if (argument[0] != '-') continue;
        // create takes --short-names before the package; extract takes
        // -C DIR after it, DIR being any folder.
        if (create && i == 0 && std::strcmp(argument, "--short-names") == 0) continue;
        if (check && i == 0 && std::strcmp(argument, "--strict") == 0) continue;
        if (extract && i > 0 && std::strcmp(argument, "-C") == 0) {
            ++i;
            continue;
        }
        return argument;
    }
    return nullptr;
}
