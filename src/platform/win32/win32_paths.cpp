#include "platform/win32/win32_paths.h"

#include <windows.h>

#include "platform/win32/win32_text.h"

int FullWidePath(const std::wstring& path, std::wstring* full) {
    const DWORD needed = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0) return 0;
    full->assign(needed, L'\0');
    const DWORD length = ::GetFullPathNameW(path.c_str(), needed, full->data(), nullptr);
    if (length == 0 || length >= needed) return 0;
    full->resize(length);
    return 1;
}

int WidePathToCp932(const wchar_t* path, std::string* cp932) {
    if (WideToCp932(path, cp932)) return 1;
    const DWORD needed = ::GetShortPathNameW(path, nullptr, 0);
    if (needed == 0) return 0;
    std::wstring shortPath(needed, L'\0');
    const DWORD length = ::GetShortPathNameW(path, shortPath.data(), needed);
    if (length == 0 || length >= needed) return 0;
    shortPath.resize(length);
    return WideToCp932(shortPath.c_str(), cp932);
}

std::string WideTextForMessage(const wchar_t* text) {
    std::string shown;
    for (size_t i = 0; text[i] != L'\0';) {
        // A surrogate pair is one character.
        const size_t width = IS_HIGH_SURROGATE(text[i]) && IS_LOW_SURROGATE(text[i + 1]) ? 2 : 1;
        const std::wstring character(text + i, width);
        std::string converted;
        shown += WideToCp932(character.c_str(), &converted) ? converted : "?";
        i += width;
    }
    return shown;
}
