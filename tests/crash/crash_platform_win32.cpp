// The crash-testing layer's system operations on Windows.
#include <windows.h>

#include <cstring>
#include <string>

#include "crash_platform.h"

void SetInjectedError(const char* name) {
    if (std::strcmp(name, "ENOSPC") == 0) {
        ::SetLastError(ERROR_DISK_FULL);
    } else if (std::strcmp(name, "EACCES") == 0) {
        ::SetLastError(ERROR_ACCESS_DENIED);
    } else if (std::strcmp(name, "EROFS") == 0) {
        ::SetLastError(ERROR_WRITE_PROTECT);
    } else {
        ::SetLastError(ERROR_IO_DEVICE);
    }
}

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

HANDLE HandleOf(intptr_t file) {
    return reinterpret_cast<HANDLE>(file);
}

int KeyOfHandle(HANDLE handle, FileKey* key) {
    BY_HANDLE_FILE_INFORMATION info;
    if (!::GetFileInformationByHandle(handle, &info)) return 0;
    *key = FileKey{info.dwVolumeSerialNumber, (uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
    return 1;
}

// Reads the whole file through handle from its start, keeping its position.
int ReadThroughHandle(HANDLE handle, std::string* content) {
    LARGE_INTEGER zero{};
    LARGE_INTEGER position{};
    if (!::SetFilePointerEx(handle, zero, &position, FILE_CURRENT) ||
        !::SetFilePointerEx(handle, zero, nullptr, FILE_BEGIN))
        return 0;
    content->clear();
    char buffer[65536];
    DWORD got = 0;
    BOOL read = TRUE;
    while ((read = ::ReadFile(handle, buffer, sizeof buffer, &got, nullptr)) && got > 0) content->append(buffer, got);
    ::SetFilePointerEx(handle, position, nullptr, FILE_BEGIN);
    return read != 0;
}

// Makes content the whole file through handle, keeping its position.
int WriteThroughHandle(HANDLE handle, const std::string& content) {
    LARGE_INTEGER zero{};
    LARGE_INTEGER position{};
    if (!::SetFilePointerEx(handle, zero, &position, FILE_CURRENT) ||
        !::SetFilePointerEx(handle, zero, nullptr, FILE_BEGIN) || !::SetEndOfFile(handle))
        return 0;
    DWORD put = 0;
    const BOOL written = content.empty() ||
                         ::WriteFile(handle, content.data(), static_cast<DWORD>(content.size()), &put, nullptr);
    ::SetFilePointerEx(handle, position, nullptr, FILE_BEGIN);
    return written && put == content.size();
}

}  // namespace

int KeyOfPath(const NativePath& path, FileKey* key) {
    const HANDLE handle = ::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                                       FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return 0;
    const int known = KeyOfHandle(handle, key);
    ::CloseHandle(handle);
    return known;
}

int KeyOfOpenFile(intptr_t file, FileKey* key) {
    return KeyOfHandle(HandleOf(file), key);
}

int PathOfOpenFile(intptr_t file, NativePath* path) {
    wchar_t name[MAX_PATH * 2];
    const DWORD length = ::GetFinalPathNameByHandleW(HandleOf(file), name, MAX_PATH * 2, FILE_NAME_NORMALIZED);
    if (length == 0 || length >= MAX_PATH * 2) return 0;
    path->assign(name, length);
    return 1;
}

int ReadFileContent(const NativePath& path, intptr_t openFile, std::string* content) {
    const HANDLE handle =
        ::CreateFileW(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return openFile != -1 && ReadThroughHandle(HandleOf(openFile), content);
    const int read = ReadThroughHandle(handle, content);
    ::CloseHandle(handle);
    return read;
}

int RewriteFileContent(const NativePath& path, intptr_t openFile, const std::string& content) {
    const HANDLE handle =
        ::CreateFileW(path.c_str(), GENERIC_WRITE, kShareAll, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return openFile != -1 && WriteThroughHandle(HandleOf(openFile), content);
    const int written = WriteThroughHandle(handle, content);
    ::CloseHandle(handle);
    return written;
}

int LinkFile(const NativePath& existing, const NativePath& newName) {
    return ::CreateHardLinkW(newName.c_str(), existing.c_str(), nullptr) != 0;
}

int ReadRegistryValue(intptr_t key, const NativePath& name, RegistryValueBefore* value) {
    value->key = key;
    value->name = name;
    DWORD type = 0;
    DWORD size = 0;
    const LSTATUS status = ::RegQueryValueExW(reinterpret_cast<HKEY>(key), name.c_str(), nullptr, &type, nullptr, &size);
    value->existed = status == ERROR_SUCCESS;
    if (!value->existed) return status == ERROR_FILE_NOT_FOUND;
    value->type = type;
    value->data.assign(size, '\0');
    return ::RegQueryValueExW(reinterpret_cast<HKEY>(key), name.c_str(), nullptr, &type,
                              reinterpret_cast<BYTE*>(value->data.data()), &size) == ERROR_SUCCESS;
}

void RestoreRegistryValue(const RegistryValueBefore& value) {
    const HKEY key = reinterpret_cast<HKEY>(value.key);
    if (value.existed) {
        ::RegSetValueExW(key, value.name.c_str(), 0, value.type, reinterpret_cast<const BYTE*>(value.data.data()),
                         static_cast<DWORD>(value.data.size()));
    } else {
        ::RegDeleteValueW(key, value.name.c_str());
    }
    ::RegFlushKey(key);
}

NativePath NativeEnvironment(const char* name) {
    wchar_t wideName[64];
    if (::MultiByteToWideChar(CP_UTF8, 0, name, -1, wideName, 64) == 0) return L"";
    wchar_t value[1024];
    const DWORD length = ::GetEnvironmentVariableW(wideName, value, 1024);
    return length > 0 && length < 1024 ? NativePath(value, length) : NativePath();
}

std::string NarrowText(const NativePath& path) {
    const int length = ::WideCharToMultiByte(CP_UTF8, 0, path.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (length <= 1) return std::string();
    std::string text(static_cast<size_t>(length), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, path.c_str(), -1, text.data(), length, nullptr, nullptr);
    text.resize(static_cast<size_t>(length) - 1);
    return text;
}
