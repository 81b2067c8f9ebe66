// Reads Start-menu shortcuts back for the tests under Wine, through the
// shell as any program would.
//
//   read_shortcut          prints the current user's Programs folder
//   read_shortcut LINK     prints the properties of the link file LINK, a
//                          path relative to the Programs folder:
//                            target=PATH       (GetPath)
//                            item-list=PATH    (the path of GetIDList)
//                            arguments=TEXT
//                            description=TEXT
//                            working-folder=PATH
//                            icon=PATH,INDEX
//                            show=NUMBER
//
// Prints UTF-8 and exits with 0; with 1 when the folder cannot be found or
// the link cannot be loaded. The show command is read from the file itself
// (the 32-bit value at byte 0x3C), as Wine's GetShowCmd does not report it.
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <cstdio>
#include <string>

namespace {

constexpr DWORD kShowCommandOffset = 0x3C;

std::string Utf8(const wchar_t* text) {
    const int needed = ::WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (needed <= 0) return std::string();
    std::string out(static_cast<size_t>(needed), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), needed, nullptr, nullptr);
    out.resize(static_cast<size_t>(needed) - 1);
    return out;
}

void Print(const char* key, const wchar_t* value) {
    std::printf("%s=%s\n", key, Utf8(value).c_str());
}

// The 32-bit little-endian value at kShowCommandOffset of the file; false
// when the file is shorter or cannot be read.
bool ReadShowCommand(const wchar_t* path, DWORD* showCommand) {
    const HANDLE file = ::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    unsigned char bytes[kShowCommandOffset + 4];
    DWORD got = 0;
    const bool read = ::ReadFile(file, bytes, sizeof bytes, &got, nullptr) && got == sizeof bytes;
    ::CloseHandle(file);
    if (!read) return false;
    *showCommand = 0;
    for (size_t i = 4; i > 0; --i) *showCommand = *showCommand * 256 + bytes[kShowCommandOffset + i - 1];
    return true;
}

bool PrintLink(const std::wstring& path) {
    DWORD showCommand = 0;
    if (!ReadShowCommand(path.c_str(), &showCommand)) return false;
    IShellLinkW* link = nullptr;
    IPersistFile* file = nullptr;
    const bool loaded = SUCCEEDED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                                     IID_IShellLinkW, reinterpret_cast<void**>(&link))) &&
                        SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))) &&
                        SUCCEEDED(file->Load(path.c_str(), STGM_READ));
    if (loaded) {
        wchar_t text[MAX_PATH] = {};
        link->GetPath(text, MAX_PATH, nullptr, SLGP_RAWPATH);
        Print("target", text);
        wchar_t itemPath[MAX_PATH] = {};
        LPITEMIDLIST items = nullptr;
        if (link->GetIDList(&items) == S_OK && items != nullptr) {
            ::SHGetPathFromIDListW(items, itemPath);
            ::CoTaskMemFree(items);
        }
        Print("item-list", itemPath);
        text[0] = L'\0';
        link->GetArguments(text, MAX_PATH);
        Print("arguments", text);
        text[0] = L'\0';
        link->GetDescription(text, MAX_PATH);
        Print("description", text);
        text[0] = L'\0';
        link->GetWorkingDirectory(text, MAX_PATH);
        Print("working-folder", text);
        text[0] = L'\0';
        int iconIndex = -1;
        link->GetIconLocation(text, MAX_PATH, &iconIndex);
        std::printf("icon=%s,%d\n", Utf8(text).c_str(), iconIndex);
        std::printf("show=%lu\n", showCommand);
    }
    if (file != nullptr) file->Release();
    if (link != nullptr) link->Release();
    return loaded;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    _setmode(_fileno(stdout), _O_BINARY);
    wchar_t programs[MAX_PATH] = {};
    if (FAILED(::SHGetFolderPathW(nullptr, CSIDL_PROGRAMS, nullptr, SHGFP_TYPE_CURRENT, programs))) {
        std::printf("no Programs folder\n");
        return 1;
    }
    if (argc < 2) {
        std::printf("%s\n", Utf8(programs).c_str());
        return 0;
    }
    if (FAILED(::CoInitialize(nullptr))) return 1;
    const bool printed = PrintLink(std::wstring(programs) + L"\\" + argv[1]);
    ::CoUninitialize();
    if (!printed) std::printf("cannot load the link\n");
    return printed ? 0 : 1;
}
