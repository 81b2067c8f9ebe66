// Folder listings on Windows: FindFirstFileW and FindNextFileW over every
// entry, with names converted to Shift_JIS.
#include <windows.h>

#include <cwchar>
#include <new>
#include <string>

#include "common/sjis_text.h"
#include "platform/disk_change_hook.h"
#include "platform/platform_files.h"
#include "platform/win32/win32_text.h"

struct PlatformFolderListing {
    HANDLE search;
    WIN32_FIND_DATAW found;  // the entry found and not yet handed out
    bool pending;            // whether found holds one
};

PlatformFolderListing* OsOpenFolderListing(const char* folder) {
    std::wstring pattern;
    if (!Cp932ToWide(folder, &pattern) || !AllowDiskAccess(kAccessList)) return nullptr;
    pattern += L"\\*";
    PlatformFolderListing* listing = new (std::nothrow) PlatformFolderListing{};
    if (listing == nullptr) return nullptr;
    listing->search = ::FindFirstFileW(pattern.c_str(), &listing->found);
    if (listing->search == INVALID_HANDLE_VALUE) {
        delete listing;
        return nullptr;
    }
    listing->pending = true;
    return listing;
}

int OsNextFolderEntry(PlatformFolderListing* listing, char* name, size_t capacity, int* isFolder) {
    if (!AllowDiskAccess(kAccessList)) return -1;
    for (;;) {
        if (!listing->pending && !::FindNextFileW(listing->search, &listing->found))
            return ::GetLastError() == ERROR_NO_MORE_FILES ? 0 : -1;
        listing->pending = false;
        const WIN32_FIND_DATAW& found = listing->found;
        if (std::wcscmp(found.cFileName, L".") == 0 || std::wcscmp(found.cFileName, L"..") == 0) continue;
        std::string text;
        if (!WideToCp932(found.cFileName, &text) || text.size() >= capacity) continue;
        CopyText(name, capacity, text.c_str());
        *isFolder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? 1 : 0;
        return 1;
    }
}

void OsCloseFolderListing(PlatformFolderListing* listing) {
    if (listing == nullptr) return;
    ::FindClose(listing->search);
    delete listing;
}

int OsFolderIsMissing(const char* folder) {
    std::wstring wide;
    if (!Cp932ToWide(folder, &wide) || ::GetFileAttributesW(wide.c_str()) != INVALID_FILE_ATTRIBUTES) return 0;
    const DWORD error = ::GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}
