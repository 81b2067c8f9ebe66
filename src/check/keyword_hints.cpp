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

// The keyword that word was likely meant to be, among those whose id
// accepts: one it starts with but for letter case (*edits 0), or one a
// typing slip or two away (*edits 1 or 2). nullptr for none.
const char* LikelyKeyword(const char* word, bool (*accepts)(int id), size_t* edits) {
    const std::string lowered = Lowered(word);
    for (int id = kFirstDirectiveKeyword; id <= kLastKeyword; ++id) {
        const std::string keyword = Lowered(KeywordText(id));
        if (accepts(id) && lowered.compare(0, keyword.size(), keyword) == 0) {
            *edits = 0;
            return KeywordText(id);
        }
    }
    for (int id = kFirstDirectiveKeyword; id <= kLastKeyword; ++id) {
        const std::string keyword = Lowered(KeywordText(id));
        const size_t allowed = keyword.size() <= 5 ? 1 : 2;
        *edits = EditDistance(lowered, keyword);
        if (accepts(id) && *edits <= allowed) return KeywordText(id);
    }
    return nullptr;
}

// Label is left out: a line that misspells it is ignored all the same.
bool IsDirectiveButLabel(int id) {
    return IsDirectiveKeyword(id) && id != kKeywordLabel;
}

bool IsRuleKeyword(int id) {
    return id >= kFirstRuleKeyword && id <= kLastRuleKeyword;
}

// "; directives are case-sensitive: CopyFile" or "; did you mean Registory?".
std::string Suggestion(const char* kind, const char* keyword, size_t edits) {
    return edits == 0 ? std::string("; ") + kind + " are case-sensitive: " + keyword
                      : std::string("; did you mean ") + keyword + "?";
}

bool StartsWithAsciiLetter(const char* word) {
    const char c = LowerAscii(word[0]);
    return c >= 'a' && c <= 'z';
}

}  // namespace

std::string IgnoredLineReason(const ScriptStatementNote& note, bool* surelyMeant) {
    *surelyMeant = false;
    if (IsRuleKeyword(note.keyword)) {
        return std::string("line ignored: the rule keyword ") + KeywordText(note.keyword) +
               " must follow ConvertFile or ConvertSave";
    }
    if (note.line == 1 && std::strncmp(note.word, "\xEF\xBB\xBF", 3) == 0) {
        return "line ignored: the script starts with a UTF-8 byte order mark; it must be Shift_JIS text";
    }
    if (!StartsWithAsciiLetter(note.word)) return "";
    size_t edits = 0;
    const char* keyword = LikelyKeyword(note.word, IsDirectiveButLabel, &edits);
    if (keyword == nullptr) return "";
    *surelyMeant = edits <= 1;
    return "line ignored: " + Quoted(note.word) + " is no directive" + Suggestion("directives", keyword, edits);
}

std::string IgnoredRuleWarning(const ScriptStatementNote& note) {
    const std::string ruleWord = RuleWordOf(note);
    std::string warning = std::string(KeywordText(note.keyword)) + " statement ignored: " + Quoted(ruleWord) +
                          " is no rule keyword";
    size_t edits = 0;
    const char* keyword = LikelyKeyword(ruleWord.c_str(), IsRuleKeyword, &edits);
    if (keyword != nullptr) warning += Suggestion("rule keywords", keyword, edits);
    return warning;
}
