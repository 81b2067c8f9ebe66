// Test support for the Windows build.
#include "test_support.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <cstdio>

#include "platform/win32/win32_text.h"

namespace {

// msvcrt turns "\n" into "\r\n" on a text-mode stream; the test list that
// ctest reads through Wine must keep plain line ends.
const bool g_binaryOutput = [] {
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    return true;
}();

}  // namespace

std::filesystem::path NativeTestPath(const char* path) {
    std::wstring wide;
    if (!Cp932ToWide(path, &wide)) return {};
    return std::filesystem::path(wide);
}

namespace {

// A text the link gave as Shift_JIS.
std::string ProgramText(const wchar_t* text) {
    std::string cp932;
    return WideToCp932(text, &cp932) ? cp932 : "<not Shift_JIS>";
}

// Reads the properties of the link loaded into link.
void ReadLinkProperties(IShellLinkW* link, TestShortcut* shortcut) {
    wchar_t text[MAX_PATH] = {};
    link->GetPath(text, MAX_PATH, nullptr, SLGP_RAWPATH);
    shortcut->target = ProgramText(text);
    text[0] = L'\0';
    link->GetArguments(text, MAX_PATH);
    shortcut->arguments = ProgramText(text);
    text[0] = L'\0';
    link->GetDescription(text, MAX_PATH);
    shortcut->description = ProgramText(text);
    text[0] = L'\0';
    link->GetWorkingDirectory(text, MAX_PATH);
    shortcut->workingFolder = ProgramText(text);
    text[0] = L'\0';
    link->GetIconLocation(text, MAX_PATH, &shortcut->iconIndex);
    shortcut->icon = ProgramText(text);
}

}  // namespace

bool ReadTestShortcut(const char* linkPath, TestShortcut* shortcut) {
    std::wstring path;
    std::string bytes;
    // Wine's GetShowCmd does not report what the file holds: read it there.
    constexpr size_t kShowCommandOffset = 0x3C;
    if (!Cp932ToWide(linkPath, &path) || !ReadTestFile(linkPath, &bytes) || bytes.size() < kShowCommandOffset + 4)
        return false;
    *shortcut = TestShortcut{};
    for (int i = 3; i >= 0; --i)
        shortcut->showCommand = shortcut->showCommand * 256 + static_cast<unsigned char>(bytes[kShowCommandOffset + i]);
    if (FAILED(::CoInitialize(nullptr))) return false;
    IShellLinkW* link = nullptr;
    IPersistFile* file = nullptr;
    bool loaded = SUCCEEDED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                               reinterpret_cast<void**>(&link))) &&
                  SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))) &&
                  SUCCEEDED(file->Load(path.c_str(), STGM_READ));
    if (loaded) ReadLinkProperties(link, shortcut);
    if (file != nullptr) file->Release();
    if (link != nullptr) link->Release();
    ::CoUninitialize();
    return loaded;
}
