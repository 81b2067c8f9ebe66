// The shell on Windows: the Start menu's Programs folder and shell links,
// through the wide interfaces (SHGetPathFromIDListW, IShellLinkW, and
// IPersistFile, which takes a wide path anyway).
//
// Every text arrives as Shift_JIS and is converted with code page 932, not
// the system's ANSI code page, so that names and descriptions come out right
// on any system locale. COM is initialised for each link and uninitialised
// right after it.
//
// Divisions: the Programs folder, shell links.
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <string>

#include "common/sjis_text.h"
#include "platform/disk_change_hook.h"
#include "platform/platform_shell.h"
#include "platform/win32/win32_files.h"
#include "platform/win32/win32_paths.h"
#include "platform/win32/win32_text.h"
#include "platform/win32/win32_trial.h"

namespace {

// The Programs folder --------------------------------------------------------------

std::string g_privateProgramsFolder;  // set by updpack try; empty for the user's

// Fills folder with the path of the special folder csidl, as the shell gives
// it; leaves folder unchanged when the folder cannot be found.
void GetSpecialFolder(int csidl, wchar_t (&folder)[MAX_PATH]) {
    IMalloc* allocator = nullptr;
    if (FAILED(::SHGetMalloc(&allocator))) return;
    LPITEMIDLIST items = nullptr;
    if (SUCCEEDED(::SHGetSpecialFolderLocation(nullptr, csidl, &items))) {
        ::SHGetPathFromIDListW(items, folder);
        allocator->Free(items);
    }
    allocator->Release();
}

// Shell links ----------------------------------------------------------------------

// Writes the link file linkPath with the given properties; a null working
// folder or icon path sets none. Returns the result of saving the link, or
// of the first step that failed.
HRESULT WriteShellLink(const wchar_t* linkPath, const wchar_t* targetPath, const wchar_t* description,
                       const wchar_t* arguments, const wchar_t* workingFolder, const wchar_t* iconPath,
                       int iconIndex, int showCommand) {
    IShellLinkW* link = nullptr;
    HRESULT result = ::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                        reinterpret_cast<void**>(&link));
    if (FAILED(result)) return result;
    IPersistFile* file = nullptr;
    result = link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file));
    if (FAILED(result)) {
        link->Release();
        return result;
    }
    link->SetPath(targetPath);
    link->SetDescription(description);
    link->SetArguments(arguments);
    // A new link has neither; leaving them unset is "none".
    if (workingFolder != nullptr) link->SetWorkingDirectory(workingFolder);
    if (iconPath != nullptr) link->SetIconLocation(iconPath, iconIndex);
    link->SetShowCmd(showCommand);
    result = file->Save(linkPath, TRUE);
    file->Release();
    link->Release();
    return result;
}

// text, or nullptr for none, as UTF-16 in wide. Returns 0 when text is not
// valid Shift_JIS.
int OptionalToWide(const char* text, std::wstring* wide) {
    return text == nullptr || Cp932ToWide(text, wide);
}

}  // namespace

void SetPrivateProgramsFolder(const std::string& folder) {
    g_privateProgramsFolder = folder;
}

int OsGetProgramsFolder(char* path, size_t capacity) {
    if (capacity == 0) return 0;
    path[0] = '\0';
    if (!g_privateProgramsFolder.empty()) return CopyText(path, capacity, g_privateProgramsFolder.c_str());
    wchar_t folder[MAX_PATH] = {};
    GetSpecialFolder(CSIDL_PROGRAMS, folder);
    // A folder with characters Shift_JIS lacks is joined with the script's
    // names through its short form; without one, its entries are skipped.
    std::string cp932;
    if (folder[0] == L'\0' || !WidePathToCp932(folder, &cp932)) return 0;
    if (CopyText(path, capacity, cp932.c_str())) return 1;
    path[0] = '\0';
    return 0;
}

int OsWriteShellLink(const char* linkPath, const ShellLinkProperties& link) {
    std::wstring path, target, description, arguments, workingFolder, icon;
    if (!Cp932ToWide(linkPath, &path) || !Cp932ToWide(link.targetPath, &target) ||
        !Cp932ToWide(link.description, &description) || !Cp932ToWide(link.arguments, &arguments) ||
        !OptionalToWide(link.workingFolder, &workingFolder) || !OptionalToWide(link.iconPath, &icon))
        return 0;
    // Like every file the update writes, the link is written whole beside
    // the old one, flushed, and swapped in.
    const std::wstring temporary = path + kReplacementSuffix;
    if (!AllowDiskChange(kDiskLink, PathTarget(temporary.c_str()))) return 0;
    // Also S_FALSE, COM already initialised on this thread, is balanced by
    // one CoUninitialize.
    const HRESULT initialized = ::CoInitialize(nullptr);
    if (FAILED(initialized)) {
        ::SetLastError(static_cast<DWORD>(initialized));
        return 0;
    }
    const HRESULT saved = WriteShellLink(temporary.c_str(), target.c_str(), description.c_str(), arguments.c_str(),
                                         link.workingFolder != nullptr ? workingFolder.c_str() : nullptr,
                                         link.iconPath != nullptr ? icon.c_str() : nullptr, link.iconIndex,
                                         link.showCommand);
    ::CoUninitialize();
    if (SUCCEEDED(saved)) return CommitWideFile(temporary, path);
    ::DeleteFileW(temporary.c_str());
    // The shell tells its failure in what it returns: the diagnostic reads it
    // as the last error, a system error code where the result wraps one.
    ::SetLastError(HRESULT_FACILITY(saved) == FACILITY_WIN32 ? static_cast<DWORD>(HRESULT_CODE(saved))
                                                             : static_cast<DWORD>(saved));
    return 0;
}

std::string OsShellLinkFile(const char* linkPath) {
    return linkPath;
}
