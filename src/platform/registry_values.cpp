#include "platform/registry_values.h"

#include <cstring>

#include "platform/platform_registry.h"

int OsQueryRegistryText(PlatformRegistryKey* key, const char* name, char* text, size_t capacity) {
    std::string bytes;
    if (!QueryRegistryValueBytes(key, name, &bytes)) return 0;
    const size_t needed = !bytes.empty() && bytes.back() == '\0' ? bytes.size() : bytes.size() + 1;
    if (needed > capacity) return 0;
    std::memcpy(text, bytes.data(), bytes.size());
    text[needed - 1] = '\0';
    return 1;
}

int OsQueryRegistryNumber(PlatformRegistryKey* key, const char* name, uint32_t* value) {
    std::string bytes;
    // Only a value of exactly four bytes is a number; a shorter one would be
    // read with stale bytes.
    if (!QueryRegistryValueBytes(key, name, &bytes) || bytes.size() != 4) return 0;
    *value = 0;
    for (int i = 3; i >= 0; --i) *value = *value << 8 | static_cast<unsigned char>(bytes[static_cast<size_t>(i)]);
    return 1;
}
