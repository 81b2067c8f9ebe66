#include "check/keyword_hints.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "common/ascii.h"
#include "common/sjis_text.h"
#include "script/script_faults.h"
#include "script/script_lexer.h"

namespace {

std::string Lowered(const char* text) {
    std::string lowered = text;
    FoldAsciiCase(lowered.data(), lowered.size());
    return lowered;
}

// Edits (insert, delete, replace, swap of neighbours) between a and b.
size_t EditDistance(const std::string& a, const std::string& b) {
    std::vector<std::vector<size_t>> d(a.size() + 1, std::vector<size_t>(b.size() + 1));
    for (size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
    for (size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t cost = a[i - 1] == b[j - 1] ? 0 : 1;
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + cost});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    }
    return d[a.size()][b.size()];
}

// The keyword among ids first..last that word was likely meant to be: one it
// starts with but for letter case, or one a typing slip or two away. nullptr
// for none. caseOnly tells which of the two it is.
const char* LikelyKeyword(const char* word, int first, int last, bool* caseOnly) {
    const std::string lowered = Lowered(word);
    for (int id = first; id <= last; ++id) {
        const std::string keyword = Lowered(KeywordText(id));
        if (lowered.compare(0, keyword.size(), keyword) == 0) {
            *caseOnly = true;
            return KeywordText(id);
        }
    }
    for (int id = first; id <= last; ++id) {
        const std::string keyword = Lowered(KeywordText(id));
        const size_t allowed = keyword.size() <= 5 ? 1 : 2;
        if (EditDistance(lowered, keyword) <= allowed) {
            *caseOnly = false;
            return KeywordText(id);
        }
    }
    return nullptr;
}

bool StartsWithAsciiLetter(const char* word) {
    const char c = LowerAscii(word[0]);
    return c >= 'a' && c <= 'z';
}

}  // namespace

std::string IgnoredLineWarning(const ScriptStatementNote& note) {
    if (note.keyword >= kFirstRuleKeyword) {
        return std::string("line ignored: the rule keyword ") + KeywordText(note.keyword) +
               " must follow ConvertFile or ConvertSave";
    }
    if (note.line == 1 && std::strncmp(note.word, "\xEF\xBB\xBF", 3) == 0) {
        return "line ignored: the script starts with a UTF-8 byte order mark; it must be Shift_JIS text";
    }
    if (!StartsWithAsciiLetter(note.word)) return "";
    bool caseOnly = false;
    // Label is left out: a line that misspells it is ignored all the same.
    const char* keyword = LikelyKeyword(note.word, kKeywordAppTitle, kLastDirectiveKeyword, &caseOnly);
    if (keyword == nullptr) return "";
    return "line ignored: " + Quoted(note.word) + " is no directive" +
           (caseOnly ? std::string("; directives are case-sensitive: ") : std::string("; did you mean ")) +
           keyword + (caseOnly ? "" : "?");
}

std::string IgnoredRuleWarning(const ScriptStatementNote& note) {
    const std::string ruleWord = RuleWordOf(note);
    std::string warning = std::string(KeywordText(note.keyword)) + " statement ignored: " + Quoted(ruleWord) +
                          " is no rule keyword";
    bool caseOnly = false;
    const char* keyword = LikelyKeyword(ruleWord.c_str(), kFirstRuleKeyword, kLastRuleKeyword, &caseOnly);
    if (keyword != nullptr) {
        warning += (caseOnly ? std::string("; rule keywords are case-sensitive: ") : std::string("; did you mean ")) +
                   keyword + (caseOnly ? "" : "?");
    }
    return warning;
}

