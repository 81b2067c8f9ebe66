// The POSIX program: the updater on a terminal or in a script, or the check
// of an update's script (shell/command_line.h).
#include "shell/command_line.h"

int main(int argc, char** argv) {
    return RunUpdaterProgram(nullptr, argc, argv);
}
