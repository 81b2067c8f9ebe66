#include "common/sjis_text.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "common/ascii.h"

namespace {

unsigned char ByteAt(const char* text, size_t index) {
    return static_cast<unsigned char>(text[index]);
}

// Compares a (at most aLimit bytes, or to its terminator) with b; 1 when equal.
int EqualsNoCaseBounded(const char* a, size_t aLimit, const char* b) {
    size_t i = 0;
    for (;;) {
        const unsigned char ca = i < aLimit ? ByteAt(a, i) : 0;
        const unsigned char cb = ByteAt(b, i);
        if (ca == 0 || cb == 0) return ca == cb;
        if (IsSjisLeadByte(ca)) {
            // A double-byte character compares exactly, both of its bytes;
            // after a lead byte standing alone the next byte is no letter,
            // so comparing it exactly changes nothing.
            if (ca != cb) return 0;
            const unsigned char ta = i + 1 < aLimit ? ByteAt(a, i + 1) : 0;
            const unsigned char tb = ByteAt(b, i + 1);
            if (ta != tb) return 0;
            if (ta == 0) return 1;
            i += 2;
            continue;
        }
        if (LowerAscii(static_cast<char>(ca)) != LowerAscii(static_cast<char>(cb))) return 0;
        ++i;
    }
}

}  // namespace

size_t FitToCharBoundary(const char* text, size_t maxBytes) {
    size_t length = 0;
    while (text[length] != '\0') {
        const size_t width = SjisCharacterWidth(text + length);
        if (length + width > maxBytes) break;
        length += width;
    }
    return length;
}

int CopyText(char* dest, size_t capacity, const char* text) {
    if (capacity == 0) return 0;
    const size_t length = FitToCharBoundary(text, capacity - 1);
    std::memcpy(dest, text, length);
    dest[length] = '\0';
    return text[length] == '\0';
}

namespace {

// The text after the last of separators in path, or after from.
const char* BaseNameAfter(const char* path, const char* from, const char* separators) {
    const char* base = from;
    for (size_t i = static_cast<size_t>(from - path); path[i] != '\0'; i += SjisCharacterWidth(path + i)) {
        if (std::strchr(separators, path[i]) != nullptr) base = path + i + 1;
    }
    return base;
}

}  // namespace

const char* BaseNameOf(const char* path) {
    return BaseNameAfter(path, path, "\\");
}

bool IsAbsolutePath(const char* path) {
    return path[0] == '\\' || path[0] == '/' || (path[0] != '\0' && path[1] == ':');
}

bool StaysInsideFolder(const char* name) {
    if (IsAbsolutePath(name)) return false;
    size_t dots = 0;
    bool onlyDots = true;
    for (size_t i = 0;; i += SjisCharacterWidth(name + i)) {
        const char c = name[i];
        if (c == '\0' || c == '\\' || c == '/') {
            if (onlyDots && dots >= 2) return false;
            if (c == '\0') return true;
            dots = 0;
            onlyDots = true;
        } else if (c == '.') {
            ++dots;
        } else if (c != ' ') {
            onlyDots = false;
        }
    }
}

const char* ArgumentBaseNameOf(const char* path) {
    const bool drive = ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z')) && path[1] == ':';
    return BaseNameAfter(path, drive ? path + 2 : path, "\\/");
}

int EqualsNoCase(const char* a, const char* b) {
    return EqualsNoCaseBounded(a, static_cast<size_t>(-1), b);
}

void FoldAsciiCase(char* text, size_t length) {
    for (size_t i = 0; i < length; ++i) {
        if (SjisCharacterWidthIn(text, length, i) == 2) {
            ++i;
        } else {
            text[i] = LowerAscii(text[i]);
        }
    }
}

int FieldEqualsNoCase(const char* field, size_t fieldWidth, const char* name) {
    return EqualsNoCaseBounded(field, fieldWidth, name);
}

int FormatText(char* dest, size_t capacity, const char* format, ...) {
    if (capacity == 0) return 0;
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int needed = std::vsnprintf(dest, capacity, format, args);
    va_end(args);
    int whole = 1;
    if (needed < 0) {
        dest[0] = '\0';
        whole = 0;
    } else if (static_cast<size_t>(needed) >= capacity) {
        // Format the whole text, then cut it where a character ends: the
        // byte-wise cut of vsnprintf may have split a double-byte character.
        std::unique_ptr<char[]> full(new (std::nothrow) char[static_cast<size_t>(needed) + 1]);
        if (full) {
            std::vsnprintf(full.get(), static_cast<size_t>(needed) + 1, format, again);
            CopyText(dest, capacity, full.get());
        } else {
            dest[0] = '\0';
        }
        whole = 0;
    }
    va_end(again);
    return whole;
}

int JoinPath(char* dest, size_t capacity, const char* folder, const char* name) {
    const size_t folderLength = std::strlen(folder);
    const size_t nameLength = std::strlen(name);
    if (capacity == 0) return 0;
    if (folderLength + 1 + nameLength + 1 > capacity) {
        dest[0] = '\0';
        return 0;
    }
    std::memcpy(dest, folder, folderLength);
    dest[folderLength] = '\\';
    std::memcpy(dest + folderLength + 1, name, nameLength + 1);
    return 1;
}

size_t FindBadSjisByte(const char* text, size_t length) {
    for (size_t i = 0; i < length; ++i) {
        const unsigned char byte = ByteAt(text, i);
        if (IsSjisLeadByte(byte)) {
            const unsigned char second = i + 1 < length ? ByteAt(text, i + 1) : 0;
            if (second < 0x40 || second == 0x7F || second > 0xFC) return i;
            ++i;
        } else if (byte == 0x80 || byte == 0xA0 || byte >= 0xFD) {
            return i;
        }
    }
    return length;
}
