// updpack's output: Shift_JIS texts through the platform's console.
#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/platform_dialog.h"
#include "updpack.h"

void PutText(std::FILE* stream, const char* text) {
    std::string shown;
    std::string utf8;
    if (OsTextToUtf8(text, &utf8)) {
        shown = text;
    } else {
        for (const char* c = text; *c != '\0'; ++c) {
            const unsigned char byte = static_cast<unsigned char>(*c);
            char escape[8];
            std::snprintf(escape, sizeof escape, byte >= 0x20 && byte < 0x7F ? "%c" : "\\x%02X", byte);
            shown += escape;
        }
    }
    // What stdio holds goes out first, so that lines keep their order.
    std::fflush(stream);
    if (stream == stderr) {
        OsWriteError(shown.c_str());
    } else {
        OsWriteOutput(shown.c_str());
    }
}

void Complain(const char* message) {
    std::fputs("updpack: ", stderr);
    PutText(stderr, message);
    std::fputc('\n', stderr);
}

std::string Counted(uint64_t count, const char* noun) {
    return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}
