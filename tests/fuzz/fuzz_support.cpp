#include "fuzz_support.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

void EnterFuzzFolder() {
    static bool entered = false;
    if (entered) return;
    struct stat info;
    std::string folder = stat("/dev/shm", &info) == 0 && S_ISDIR(info.st_mode) ? "/dev/shm" : "/tmp";
    folder += "/updater-fuzz-XXXXXX";
    if (mkdtemp(folder.data()) == nullptr || chdir(folder.c_str()) != 0) {
        std::perror("updater fuzz folder");
        std::abort();
    }
    entered = true;
}

void WriteFuzzFile(const char* name, const uint8_t* bytes, size_t size) {
    std::FILE* file = std::fopen(name, "wb");
    if (file == nullptr || std::fwrite(bytes, 1, size, file) != size || std::fclose(file) != 0) {
        std::perror(name);
        std::abort();
    }
}

void FuzzAssert(bool condition, const char* text, const char* file, int line) {
    if (condition) return;
    std::fprintf(stderr, "%s:%d: does not hold: %s\n", file, line, text);
    std::abort();
}
