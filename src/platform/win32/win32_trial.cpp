// Trying an update on Windows: temporary folders, hard links, wildcards in
// file arguments, and a registry key and Programs folder of the run's own.
#include "platform/win32/win32_trial.h"

#include <windows.h>

#include <algorithm>
#include <cwchar>
#include <new>
#include <string>
#include <vector>

#include "common/sjis_text.h"
#include "platform/platform_files.h"
#include "platform/platform_trial.h"
#include "platform/win32/win32_files.h"
#include "platform/win32/win32_paths.h"
#include "platform/win32/win32_text.h"

namespace {

std::wstring g_privateRoot;  // below HKEY_CURRENT_USER; empty when none

// Stores the Shift_JIS form of path in text. Returns 1 when it fits.
int WideToProgramPath(const wchar_t* path, char* text, size_t capacity) {
    std::string cp932;
    return WidePathToCp932(path, &cp932) && CopyText(text, capacity, cp932.c_str());
}

// Removes the folder or file path and everything below it.
bool RemoveWideTree(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return ::GetLastError() == ERROR_FILE_NOT_FOUND;
    // A read-only file or folder would refuse to go.
    ::SetFileAttributesW(path.c_str(), attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
        return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? ::RemoveDirectoryW(path.c_str())
                                                             : ::DeleteFileW(path.c_str());
    WIN32_FIND_DATAW found;
    const HANDLE search = ::FindFirstFileW((path + L"\\*").c_str(), &found);
    bool removed = true;
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (std::wcscmp(found.cFileName, L".") == 0 || std::wcscmp(found.cFileName, L"..") == 0) continue;
            removed = RemoveWideTree(path + L"\\" + found.cFileName) && removed;
        } while (::FindNextFileW(search, &found));
        ::FindClose(search);
    }
    return ::RemoveDirectoryW(path.c_str()) && removed;
}

bool SetValue(HKEY key, const wchar_t* name, DWORD type, const void* data, DWORD size) {
    return ::RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size) == ERROR_SUCCESS;
}

}  // namespace

int OsMakeTemporaryFolder(char* path, size_t capacity) {
    wchar_t base[MAX_PATH + 1];
    const DWORD length = ::GetTempPathW(MAX_PATH + 1, base);
    if (length == 0 || length > MAX_PATH) return 0;
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        wchar_t name[64];
        std::swprintf(name, 64, L"updpack-try-%lu-%u", ::GetCurrentProcessId(), attempt);
        const std::wstring folder = std::wstring(base) + name;
        if (!::CreateDirectoryW(folder.c_str(), nullptr)) {
            if (::GetLastError() == ERROR_ALREADY_EXISTS) continue;
            return 0;
        }
        if (WideToProgramPath(folder.c_str(), path, capacity)) return 1;
        ::RemoveDirectoryW(folder.c_str());
        return 0;
    }
    return 0;
}

int OsRemoveTree(const char* path) {
    std::wstring wide;
    return Cp932ToWide(path, &wide) && RemoveWideTree(wide);
}

int OsFullPath(const char* path, char* full, size_t capacity) {
    std::wstring wide;
    if (!Cp932ToWide(path, &wide)) return 0;
    std::wstring result;
    if (!FullWidePath(wide, &result)) return 0;
    // A folder given with a trailing separator is named without it.
    if (result.size() > 3 && result.back() == L'\\') result.pop_back();
    return ::GetFileAttributesW(result.c_str()) != INVALID_FILE_ATTRIBUTES &&
           WideToProgramPath(result.c_str(), full, capacity);
}

PlatformFile* OsCreateNewFile(const char* path) {
    std::wstring wide;
    if (!Cp932ToWide(path, &wide)) return nullptr;
    const HANDLE handle =
        ::CreateFileW(wide.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return nullptr;
    PlatformFile* file = new (std::nothrow) PlatformFile{handle};
    if (file == nullptr) ::CloseHandle(handle);
    return file;
}

int OsLinkFile(const char* existingPath, const char* newPath) {
    std::wstring from;
    std::wstring to;
    return Cp932ToWide(existingPath, &from) && Cp932ToWide(newPath, &to) &&
           ::CreateHardLinkW(to.c_str(), from.c_str(), nullptr);
}

int OsExpandFileArgument(const char* argument, std::vector<std::string>* paths) {
    paths->clear();
    const char* name = ArgumentBaseNameOf(argument);
    if (std::string(name).find_first_of("*?") == std::string::npos) {
        paths->push_back(argument);
        return 1;
    }
    std::wstring pattern;
    if (!Cp932ToWide(argument, &pattern)) return 0;
    const std::string folder(argument, name);
    WIN32_FIND_DATAW found;
    const HANDLE search = ::FindFirstFileW(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return 0;
    do {
        std::string text;
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 && WideToCp932(found.cFileName, &text))
            paths->push_back(folder + text);
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
    std::sort(paths->begin(), paths->end());
    return !paths->empty();
}

int OsBeginPrivateRegistry(const char*, const char* subkey, const char* installFolder, uint32_t version,
                           uint32_t addContents) {
    wchar_t root[64];
    std::swprintf(root, 64, L"Software\\updpack try %lu", ::GetCurrentProcessId());
    std::wstring wideSubkey;
    std::wstring folder;
    if (!Cp932ToWide(subkey, &wideSubkey) || !Cp932ToWide(installFolder, &folder)) return 0;
    HKEY key = nullptr;
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, (std::wstring(root) + L"\\" + wideSubkey).c_str(), 0, nullptr, 0,
                          KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return 0;
    BYTE versionBytes[4];
    for (int i = 0; i < 4; ++i) versionBytes[i] = static_cast<BYTE>(version >> (8 * i));
    const DWORD contents = addContents;
    const bool set = SetValue(key, L"InstallFolder", REG_SZ, folder.c_str(),
                              static_cast<DWORD>((folder.size() + 1) * sizeof(wchar_t))) &&
                     SetValue(key, L"Version", REG_BINARY, versionBytes, sizeof versionBytes) &&
                     SetValue(key, L"AddContents", REG_DWORD, &contents, sizeof contents);
    ::RegCloseKey(key);
    g_privateRoot = root;
    if (!set) {
        OsEndPrivateRegistry();
        return 0;
    }
    SetPrivateRegistryRoot(g_privateRoot);
    return 1;
}

void OsEndPrivateRegistry() {
    SetPrivateRegistryRoot(std::wstring());
    if (!g_privateRoot.empty()) ::RegDeleteTreeW(HKEY_CURRENT_USER, g_privateRoot.c_str());
    g_privateRoot.clear();
}

void OsUseProgramsFolder(const char* folder) {
    SetPrivateProgramsFolder(folder != nullptr ? folder : "");
}
