// The registry on Windows: one key under HKEY_CURRENT_USER, through the W
// functions. Values are read as the ANSI functions would deliver them under
// code page 932 (strings converted, other types as stored), so a value's
// type is never examined beyond that.
#include <windows.h>

#include <cstring>
#include <string>

#include "platform/platform.h"
#include "platform/win32/win32_text.h"

namespace {

// No value the program reads is longer; a longer one fails without being
// fetched.
constexpr DWORD kLargestValue = 4096;

HKEY KeyOf(PlatformRegistryKey* key) {
    return reinterpret_cast<HKEY>(key);
}

// The bytes of value name as RegQueryValueExA would give them: a string
// converted to Shift_JIS with its terminator, any other type as stored.
// Returns 0 when the value is missing, too long or not convertible.
int QueryValueBytes(PlatformRegistryKey* key, const char* name, std::string* bytes) {
    std::wstring wideName;
    if (!Cp932ToWide(name, &wideName)) return 0;
    DWORD type = 0;
    DWORD size = kLargestValue;
    std::string stored(kLargestValue, '\0');
    if (::RegQueryValueExW(KeyOf(key), wideName.c_str(), nullptr, &type,
                           reinterpret_cast<BYTE*>(stored.data()), &size) != ERROR_SUCCESS) {
        return 0;
    }
    stored.resize(size);
    if (type != REG_SZ && type != REG_EXPAND_SZ && type != REG_MULTI_SZ) {
        *bytes = std::move(stored);
        return 1;
    }
    // The text up to its first zero; it may be stored without one.
    std::wstring wide(size / sizeof(wchar_t), L'\0');
    std::memcpy(wide.data(), stored.data(), wide.size() * sizeof(wchar_t));
    wide.resize(std::wcslen(wide.c_str()));
    if (!WideToCp932(wide.c_str(), bytes)) return 0;
    bytes->push_back('\0');
    return 1;
}

}  // namespace

PlatformRegistryKey* OsOpenRegistryKey(const char* subkey) {
    std::wstring wide;
    if (!Cp932ToWide(subkey, &wide)) return nullptr;
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, wide.c_str(), 0, KEY_READ | KEY_WRITE, &key) != ERROR_SUCCESS) {
        return nullptr;
    }
    return reinterpret_cast<PlatformRegistryKey*>(key);
}

int OsQueryRegistryText(PlatformRegistryKey* key, const char* name, char* text, size_t capacity) {
    std::string bytes;
    if (!QueryValueBytes(key, name, &bytes)) return 0;
    const size_t needed = !bytes.empty() && bytes.back() == '\0' ? bytes.size() : bytes.size() + 1;
    if (needed > capacity) return 0;
    std::memcpy(text, bytes.data(), bytes.size());
    text[needed - 1] = '\0';
    return 1;
}

int OsQueryRegistryNumber(PlatformRegistryKey* key, const char* name, uint32_t* value) {
    std::string bytes;
    if (!QueryValueBytes(key, name, &bytes) || bytes.size() != 4) return 0;
    *value = 0;
    for (int i = 3; i >= 0; --i) *value = *value << 8 | static_cast<unsigned char>(bytes[static_cast<size_t>(i)]);
    return 1;
}

int OsSetRegistryBinaryNumber(PlatformRegistryKey* key, const char* name, uint32_t number) {
    std::wstring wideName;
    if (!Cp932ToWide(name, &wideName)) return 0;
    BYTE bytes[4];
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<BYTE>(number >> (8 * i));
    return ::RegSetValueExW(KeyOf(key), wideName.c_str(), 0, REG_BINARY, bytes, sizeof bytes) == ERROR_SUCCESS;
}

void OsCloseRegistryKey(PlatformRegistryKey* key) {
    if (key != nullptr) ::RegCloseKey(KeyOf(key));
}
