// The POSIX registry file: reading any text, and setting Version in it as
// an update records its version.
//
// What must hold, besides memory safety: a key opens when its section starts
// the text; setting the value gives a text that reads the value back as
// written, keeps every other value of the key as it read before, and is
// itself read and rewritten alike (a second setting changes nothing more).
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "common/sjis_text.h"
#include "fuzz_support.h"
#include "platform/platform_registry.h"
#include "platform/posix/posix_registry.h"

namespace {

constexpr char kSubkey[] = "Software\\Game";

// The value names that the text's lines start with, and the three the
// updater reads.
std::vector<std::string> ValueNames(const std::string& text) {
    std::vector<std::string> names = {"InstallFolder", "Version", "AddContents"};
    size_t start = 0;
    while (start < text.size() && names.size() < 12) {
        if (text[start] == '"') {
            const size_t close = text.find('"', start + 1);
            if (close == std::string::npos) break;
            names.push_back(text.substr(start + 1, close - start - 1));
        }
        const size_t next = text.find('\n', start);
        if (next == std::string::npos) break;
        start = next + 1;
    }
    return names;
}

// Every value of names as key reads it: found, and its bytes.
std::vector<std::string> Readings(PlatformRegistryKey* key, const std::vector<std::string>& names) {
    std::vector<std::string> readings;
    for (const std::string& name : names) {
        char text[512];
        uint32_t number = 0;
        std::string reading = OsQueryRegistryText(key, name.c_str(), text, sizeof text) ? text : "<none>";
        if (OsQueryRegistryNumber(key, name.c_str(), &number)) reading += "#" + std::to_string(number);
        readings.push_back(reading);
    }
    return readings;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    if (size < 4 || size > (1u << 20)) return 0;
    uint32_t number = 0;
    std::memcpy(&number, bytes, 4);
    const std::string text(reinterpret_cast<const char*>(bytes + 4), size - 4);
    PlatformRegistryKey* key = OpenRegistryKeyInText("registry.reg", text, kSubkey);
    if (text.rfind("[HKEY_CURRENT_USER\\Software\\Game]\n", 0) == 0) FUZZ_ASSERT(key != nullptr);
    if (key == nullptr) return 0;

    std::vector<std::string> names = ValueNames(text);
    const std::vector<std::string> before = Readings(key, names);
    std::string rewritten;
    const int set = RewriteRegistryText(key, "Version", number, &rewritten);
    OsCloseRegistryKey(key);
    // A refused setting leaves the file as it was: only an accepted text is
    // checked.
    if (!set) return 0;

    PlatformRegistryKey* after = OpenRegistryKeyInText("registry.reg", rewritten, kSubkey);
    FUZZ_ASSERT(after != nullptr);
    uint32_t readBack = 0;
    FUZZ_ASSERT(OsQueryRegistryNumber(after, "Version", &readBack) == 1 && readBack == number);
    const std::vector<std::string> afterReadings = Readings(after, names);
    for (size_t i = 0; i < names.size(); ++i) {
        if (!EqualsNoCase(names[i].c_str(), "Version")) FUZZ_ASSERT(afterReadings[i] == before[i]);
    }
    std::string again;
    FUZZ_ASSERT(RewriteRegistryText(after, "Version", number, &again) == 1 && again == rewritten);
    OsCloseRegistryKey(after);
    return 0;
}
