// The lines and values of a REGEDIT4 text, as the POSIX registry reads them.
#include "platform/posix/posix_registry_text.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "common/ascii.h"
#include "common/sjis_text.h"

std::string_view WithoutLineEnd(std::string_view line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
    return line;
}

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

// 1 when text starts with the ASCII prefix, letters compared without case.
static int StartsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return 0;
    for (size_t i = 0; i < prefix.size(); ++i) {
        if (LowerAscii(text[i]) != LowerAscii(prefix[i])) return 0;
    }
    return 1;
}

// Reads the quoted text starting at text[*position] == '"' into out and sets
// *position past its closing quote. Returns 0 when the text is not closed.
static int ReadQuoted(std::string_view text, size_t* position, std::string* out) {
    size_t i = *position + 1;
    out->clear();
    while (i < text.size()) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (SjisCharacterWidthIn(text.data(), text.size(), i) == 2) {
            out->append(text.substr(i, 2));
            i += 2;
        } else if (c == '\\' && i + 1 < text.size() && (text[i + 1] == '\\' || text[i + 1] == '"')) {
            out->push_back(text[i + 1]);
            i += 2;
        } else if (c == '"') {
            *position = i + 1;
            return 1;
        } else {
            out->push_back(static_cast<char>(c));
            ++i;
        }
    }
    return 0;
}

// The quoted form of text, with \ and " escaped.
std::string RegistryQuoted(const std::string& text) {
    std::string out = "\"";
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (SjisCharacterWidthIn(text.data(), text.size(), i) == 2) {
            out.append(text, i, 2);
            ++i;
            continue;
        }
        if (c == '\\' || c == '"') out.push_back('\\');
        out.push_back(static_cast<char>(c));
    }
    return out + "\"";
}

// Splits a value line into its name and the data after '='. Returns 0 for a
// line that is not a value.
int SplitValueLine(std::string_view line, std::string* name, std::string_view* data) {
    line = WithoutLineEnd(line);
    size_t position = 0;
    if (line.empty() || line[0] != '"' || !ReadQuoted(line, &position, name)) return 0;
    std::string_view rest = TrimBlanks(line.substr(position));
    if (rest.empty() || rest[0] != '=') return 0;
    *data = TrimBlanks(rest.substr(1));
    return 1;
}

// Reads "xx,xx,..." (blanks, line ends and continuation marks allowed).
static int ParseHexList(std::string_view list, std::string* bytes) {
    std::string digits;
    for (char c : list) {
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n' && c != '\\') digits.push_back(c);
    }
    bytes->clear();
    if (digits.empty()) return 1;
    size_t start = 0;
    for (;;) {
        const size_t comma = digits.find(',', start);
        const std::string_view item =
            std::string_view(digits).substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        if (item.empty() || item.size() > 2) return 0;
        int value = 0;
        for (char c : item) {
            const int digit = HexDigitValue(c);
            if (digit < 0) return 0;
            value = value * 16 + digit;
        }
        bytes->push_back(static_cast<char>(value));
        if (comma == std::string::npos) return 1;
        start = comma + 1;
    }
}

// The bytes a value's data stands for. Returns 0 when the data is malformed.
int ParseValueData(std::string_view data, std::string* bytes) {
    if (!data.empty() && data[0] == '"') {
        size_t position = 0;
        if (!ReadQuoted(data, &position, bytes) || !TrimBlanks(data.substr(position)).empty()) return 0;
        bytes->push_back('\0');
        return 1;
    }
    if (StartsWithNoCase(data, "dword:")) {
        const std::string_view digits = data.substr(6);
        if (digits.empty() || digits.size() > 8) return 0;
        uint32_t value = 0;
        for (char c : digits) {
            const int digit = HexDigitValue(c);
            if (digit < 0) return 0;
            value = value << 4 | static_cast<uint32_t>(digit);
        }
        bytes->clear();
        for (int i = 0; i < 4; ++i) bytes->push_back(static_cast<char>(value >> (8 * i)));
        return 1;
    }
    if (StartsWithNoCase(data, "hex")) {
        const size_t colon = data.find(':');
        if (colon == std::string_view::npos) return 0;
        const std::string_view kind = data.substr(3, colon - 3);
        if (!kind.empty() && (kind.front() != '(' || kind.back() != ')')) return 0;
        return ParseHexList(data.substr(colon + 1), bytes);
    }
    return 0;
}

// 1 when line is a value line whose data is a hex list: such a line goes on
// after a trailing '\'. The first physical line of a value decides it.
static int IsHexValueLine(std::string_view line) {
    std::string name;
    std::string_view data;
    return SplitValueLine(line, &name, &data) && StartsWithNoCase(data, "hex");
}

// 1 when physical, one physical line, ends in the continuation mark.
static int EndsInContinuationMark(std::string_view physical) {
    const std::string_view body = WithoutLineEnd(physical);
    return !body.empty() && body.back() == '\\';
}

// 1 when the next physical line after line would be read as part of it: a
// hex value whose last physical line ends in '\'.
int ContinuesOnNextLine(std::string_view line) {
    const size_t lastBreak = WithoutLineEnd(line).find_last_of("\r\n");
    const std::string_view last = lastBreak == std::string_view::npos ? line : line.substr(lastBreak + 1);
    return EndsInContinuationMark(last) && IsHexValueLine(line);
}

// The file's content as lines, each with its line end; a hex list that goes
// on over several lines is one line. Whether a value is a hex list is told
// once, from its first physical line, so the time grows with the content.
std::vector<std::string> SplitLines(const std::string& content) {
    std::vector<std::string> lines;
    bool hexValue = false;
    bool continuing = false;
    size_t start = 0;
    while (start < content.size()) {
        // CR LF, LF and a CR alone each end a line.
        size_t end = content.find_first_of("\r\n", start);
        if (end == std::string::npos) {
            end = content.size();
        } else {
            const bool crLf = content[end] == '\r' && end + 1 < content.size() && content[end + 1] == '\n';
            end += crLf ? 2 : 1;
        }
        const std::string_view physical = std::string_view(content).substr(start, end - start);
        if (continuing) {
            lines.back().append(physical);
        } else {
            lines.emplace_back(physical);
            hexValue = IsHexValueLine(physical);
        }
        continuing = hexValue && EndsInContinuationMark(physical);
        start = end;
    }
    return lines;
}

// 1 when line starts a section; *matches tells whether it is subkey's.
int IsSectionLine(std::string_view line, const std::string& subkey, bool* matches) {
    line = TrimBlanks(WithoutLineEnd(line));
    if (line.empty() || line.front() != '[') return 0;
    *matches = false;
    if (line.back() != ']') return 1;
    const std::string_view inner = line.substr(1, line.size() - 2);
    const std::string_view root(kRootPrefix);
    if (!StartsWithNoCase(inner, root)) return 1;
    const std::string_view rest = inner.substr(root.size());
    if (rest.empty()) {
        *matches = subkey.empty();
    } else if (rest[0] == '\\') {
        *matches = EqualsNoCase(std::string(rest.substr(1)).c_str(), subkey.c_str()) == 1;
    }
    return 1;
}
