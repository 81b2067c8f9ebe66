#include "platform/win32/win32_text.h"

#include <windows.h>

#include "common/text_conversion.h"

namespace {

constexpr UINT kShiftJisCodePage = 932;

// Converts a zero-terminated multi-byte text of codePage to UTF-16.
int MultiByteToWide(UINT codePage, const char* text, std::wstring* wide) {
    if (text[0] == '\0') {
        wide->clear();
        return 1;
    }
    const int needed = ::MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text, -1, nullptr, 0);
    if (needed <= 0) return 0;
    std::wstring buffer(static_cast<size_t>(needed), L'\0');
    if (::MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text, -1, buffer.data(), needed) != needed)
        return 0;
    buffer.resize(static_cast<size_t>(needed) - 1);  // drop the terminator the count includes
    *wide = std::move(buffer);
    return 1;
}

// Converts a zero-terminated UTF-16 text to codePage. A character the code
// page lacks fails the conversion instead of turning into a '?'.
int WideToMultiByte(UINT codePage, const wchar_t* text, std::string* out) {
    if (text[0] == L'\0') {
        out->clear();
        return 1;
    }
    // Code page 65001 refuses the lpUsedDefaultChar argument; it reports an
    // unpaired surrogate through WC_ERR_INVALID_CHARS instead.
    const bool utf8 = codePage == CP_UTF8;
    const DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    BOOL usedDefault = FALSE;
    BOOL* usedDefaultOut = utf8 ? nullptr : &usedDefault;
    const int needed = ::WideCharToMultiByte(codePage, flags, text, -1, nullptr, 0, nullptr, usedDefaultOut);
    if (needed <= 0) return 0;
    if (usedDefault) {
        ::SetLastError(ERROR_NO_UNICODE_TRANSLATION);
        return 0;
    }
    std::string buffer(static_cast<size_t>(needed), '\0');
    if (::WideCharToMultiByte(codePage, flags, text, -1, buffer.data(), needed, nullptr, usedDefaultOut) !=
        needed)
        return 0;
    buffer.resize(static_cast<size_t>(needed) - 1);
    *out = std::move(buffer);
    return 1;
}

}  // namespace

int Cp932ToWide(const char* text, std::wstring* wide) {
    return MultiByteToWide(kShiftJisCodePage, text, wide);
}

std::wstring Cp932ToWideReplacing(const char* text) {
    return ConvertReplacingBadCharacters(text, Cp932ToWide, std::wstring(1, L'\xFFFD'));
}

int WideToCp932(const wchar_t* text, std::string* cp932) {
    return WideToMultiByte(kShiftJisCodePage, text, cp932);
}

int WideToUtf8(const wchar_t* text, std::string* utf8) {
    return WideToMultiByte(CP_UTF8, text, utf8);
}

int Utf8ToWide(const char* text, std::wstring* wide) {
    return MultiByteToWide(CP_UTF8, text, wide);
}

int WideToUpperCase(std::wstring* wide) {
    if (wide->empty()) return 1;
    const int length = static_cast<int>(wide->size());
    std::wstring upper(wide->size(), L'\0');
    if (::LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, wide->c_str(), length, upper.data(), length) != length)
        return 0;
    *wide = std::move(upper);
    return 1;
}
