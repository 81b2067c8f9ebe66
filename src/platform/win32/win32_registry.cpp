// The registry on Windows: one key under HKEY_CURRENT_USER, through the W
// functions. Values are read as the ANSI functions would deliver them under
// code page 932 (strings converted, other types as stored), so a value's
// type is never examined beyond that.
#include <windows.h>

#include <cstring>
#include <cwchar>
#include <string>

#include "platform/disk_change_hook.h"
#include "platform/platform_registry.h"
#include "platform/registry_values.h"
#include "common/sjis_text.h"
#include "platform/win32/win32_paths.h"
#include "platform/win32/win32_text.h"
#include "platform/win32/win32_trial.h"

namespace {

// No value the program reads is longer; a longer one fails without being
// fetched.
constexpr DWORD kLargestValue = 4096;

std::wstring g_privateRoot;  // set by updpack try; empty for HKEY_CURRENT_USER itself

HKEY KeyOf(PlatformRegistryKey* key) {
    return reinterpret_cast<HKEY>(key);
}

bool IsTextType(DWORD type) {
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

// Whether a registry call that returns its status succeeded. The registry
// functions report their failure in what they return, not in the thread's
// last error: it is set from that status, for the diagnostic.
bool Succeeded(LSTATUS status) {
    if (status == ERROR_SUCCESS) return true;
    ::SetLastError(static_cast<DWORD>(status));
    return false;
}

// The registry writes its changes to disk lazily: a value is flushed before
// anything that relies on it being there after a power cut.
int FlushKey(PlatformRegistryKey* key) {
    return AllowDiskChange(kDiskFlushRegistry, FileTarget(reinterpret_cast<intptr_t>(KeyOf(key)))) &&
           Succeeded(::RegFlushKey(KeyOf(key)));
}

// Sets value name to size bytes of data of type, flushed. Returns 1, or 0.
int SetValueOnDisk(PlatformRegistryKey* key, const std::wstring& name, DWORD type, const BYTE* data, DWORD size) {
    const intptr_t openKey = reinterpret_cast<intptr_t>(KeyOf(key));
    return AllowDiskChange(kDiskRegistry, DiskChangeTarget{name.c_str(), nullptr, openKey, nullptr}) &&
           Succeeded(::RegSetValueExW(KeyOf(key), name.c_str(), 0, type, data, size)) && FlushKey(key);
}

// The stored bytes and type of value name. Returns 0 when it is missing or
// too long.
int QueryStoredValue(PlatformRegistryKey* key, const char* name, DWORD* type, std::string* stored) {
    std::wstring wideName;
    if (!Cp932ToWide(name, &wideName)) return 0;
    DWORD size = kLargestValue;
    stored->assign(kLargestValue, '\0');
    if (!Succeeded(::RegQueryValueExW(KeyOf(key), wideName.c_str(), nullptr, type,
                                      reinterpret_cast<BYTE*>(stored->data()), &size)))
        return 0;
    stored->resize(size);
    return 1;
}

// The text of a stored string value, up to its first zero; it may be stored
// without one.
std::wstring StoredText(const std::string& stored) {
    std::wstring wide(stored.size() / sizeof(wchar_t), L'\0');
    std::memcpy(wide.data(), stored.data(), wide.size() * sizeof(wchar_t));
    wide.resize(std::wcslen(wide.c_str()));
    return wide;
}

}  // namespace

void SetPrivateRegistryRoot(const std::wstring& key) {
    g_privateRoot = key;
}

// The bytes of value name as RegQueryValueExA would give them: a string
// converted to Shift_JIS with its terminator, any other type as stored.
// Returns 0 when the value is missing, too long or not convertible.
int QueryRegistryValueBytes(PlatformRegistryKey* key, const char* name, std::string* bytes) {
    DWORD type = 0;
    std::string stored;
    if (!QueryStoredValue(key, name, &type, &stored)) return 0;
    if (!IsTextType(type)) {
        *bytes = std::move(stored);
        return 1;
    }
    if (!WideToCp932(StoredText(stored).c_str(), bytes)) return 0;
    bytes->push_back('\0');
    return 1;
}

int OsQueryRegistryFolder(PlatformRegistryKey* key, const char* name, char* folder, size_t capacity) {
    DWORD type = 0;
    std::string stored;
    if (!QueryStoredValue(key, name, &type, &stored)) return kRegistryFolderMissing;
    if (!IsTextType(type)) {
        return OsQueryRegistryText(key, name, folder, capacity) ? kRegistryFolderRead : kRegistryFolderMissing;
    }
    const std::wstring wide = StoredText(stored);
    std::string path;
    if (!WidePathToCp932(wide.c_str(), &path)) {
        CopyText(folder, capacity, WideTextForMessage(wide.c_str()).c_str());
        return kRegistryFolderUnusable;
    }
    if (path.size() + 1 > capacity) return kRegistryFolderMissing;
    CopyText(folder, capacity, path.c_str());
    return kRegistryFolderRead;
}

PlatformRegistryKey* OsOpenRegistryKey(const char* subkey) {
    std::wstring wide;
    if (!Cp932ToWide(subkey, &wide)) return nullptr;
    if (!g_privateRoot.empty()) wide = g_privateRoot + L"\\" + wide;
    HKEY key = nullptr;
    if (!Succeeded(::RegOpenKeyExW(HKEY_CURRENT_USER, wide.c_str(), 0, KEY_READ | KEY_WRITE, &key))) return nullptr;
    return reinterpret_cast<PlatformRegistryKey*>(key);
}

int OsSetRegistryBinaryNumber(PlatformRegistryKey* key, const char* name, uint32_t number) {
    std::wstring wideName;
    if (!Cp932ToWide(name, &wideName)) return 0;
    BYTE bytes[4];
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<BYTE>(number >> (8 * i));
    return SetValueOnDisk(key, wideName, REG_BINARY, bytes, sizeof bytes);
}

int OsSetRegistryText(PlatformRegistryKey* key, const char* name, const char* text) {
    std::wstring wideName;
    std::wstring wideText;
    if (!Cp932ToWide(name, &wideName) || !Cp932ToWide(text, &wideText)) return 0;
    return SetValueOnDisk(key, wideName, REG_SZ, reinterpret_cast<const BYTE*>(wideText.c_str()),
                          static_cast<DWORD>((wideText.size() + 1) * sizeof(wchar_t)));
}

int OsDeleteRegistryValue(PlatformRegistryKey* key, const char* name) {
    std::wstring wideName;
    if (!Cp932ToWide(name, &wideName)) return 0;
    if (::RegQueryValueExW(KeyOf(key), wideName.c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_FILE_NOT_FOUND)
        return 1;
    const intptr_t openKey = reinterpret_cast<intptr_t>(KeyOf(key));
    return AllowDiskChange(kDiskRegistry, DiskChangeTarget{wideName.c_str(), nullptr, openKey, nullptr}) &&
           Succeeded(::RegDeleteValueW(KeyOf(key), wideName.c_str())) && FlushKey(key);
}

void OsCloseRegistryKey(PlatformRegistryKey* key) {
    if (key != nullptr) ::RegCloseKey(KeyOf(key));
}
