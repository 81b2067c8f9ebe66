// updpack's entry point: the arguments, as the platform gives them in UTF-8,
// become the Shift_JIS texts that the command works on.
#include <new>
#include <string>
#include <vector>

#include "platform/platform_dialog.h"
#include "platform/platform_process.h"
#include "updpack.h"

namespace {

int RunWithArguments(int argc, char** argv) {
    std::vector<std::string> arguments;
    if (!OsProgramArguments(argc, argv, &arguments)) {
        OsWriteUtf8Error("updpack: the command line cannot be read\n");
        return kUpdpackUsage;
    }
    std::vector<std::string> texts(arguments.size() + 1);
    std::vector<char*> pointers(arguments.size() + 2, nullptr);
    texts[0] = "updpack";
    pointers[0] = texts[0].data();
    for (size_t i = 0; i < arguments.size(); ++i) {
        if (!OsArgumentAsText(arguments[i].c_str(), &texts[i + 1])) {
            OsWriteUtf8Error(("updpack: \"" + arguments[i] + "\" cannot be written in Shift_JIS (code page 932)\n").c_str());
            return kUpdpackUsage;
        }
        pointers[i + 1] = texts[i + 1].data();
    }
    return RunUpdpack(static_cast<int>(arguments.size() + 1), pointers.data());
}

}  // namespace

int main(int argc, char** argv) {
    // Memory running out anywhere ends the command here.
    try {
        return RunWithArguments(argc, argv);
    } catch (const std::bad_alloc&) {
        OsWriteUtf8Error("updpack: not enough memory\n");
        return kUpdpackFailed;
    }
}
