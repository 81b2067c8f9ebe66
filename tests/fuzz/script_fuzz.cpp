// The script loader on any text: every directive, every rule statement
// (ConvertFile and ConvertSave fill the patch and rule tables), and the plan
// printed as JSON.
//
// What must hold, besides memory safety: statements are reported in order,
// each inside the text; no table holds more than its capacity; loading the
// same text twice gives the same plan; and the plan is valid JSON, as
// --check writes it.
#include <cctype>
#include <cstdint>
#include <string>

#include "script/rule_tables.h"
#include "fuzz_support.h"
#include "check/plan_json.h"
#include "script/script_loader.h"
#include "script/update_plan.h"

namespace {

// A small JSON reader that only tells whether text is one valid value.
struct JsonReader {
    const std::string& text;
    size_t at = 0;
    int depth = 0;

    void SkipSpace() {
        while (at < text.size() && (text[at] == ' ' || text[at] == '\n' || text[at] == '\r' || text[at] == '\t')) ++at;
    }
    bool Take(char c) {
        SkipSpace();
        if (at < text.size() && text[at] == c) {
            ++at;
            return true;
        }
        return false;
    }
    bool Word(const char* word) {
        const std::string w(word);
        if (text.compare(at, w.size(), w) != 0) return false;
        at += w.size();
        return true;
    }
    bool String() {
        if (!Take('"')) return false;
        while (at < text.size()) {
            const unsigned char c = static_cast<unsigned char>(text[at++]);
            if (c == '"') return true;
            if (c < 0x20) return false;
            if (c != '\\') continue;
            if (at >= text.size()) return false;
            const char escape = text[at++];
            if (escape == 'u') {
                for (int i = 0; i < 4; ++i, ++at) {
                    if (at >= text.size() || !std::isxdigit(static_cast<unsigned char>(text[at]))) return false;
                }
            } else if (std::string("\"\\/bfnrt").find(escape) == std::string::npos) {
                return false;
            }
        }
        return false;
    }
    bool Number() {
        const size_t start = at;
        if (at < text.size() && text[at] == '-') ++at;
        size_t digits = 0;
        while (at < text.size() && (std::isdigit(static_cast<unsigned char>(text[at])) || text[at] == '.' ||
                                    text[at] == 'e' || text[at] == 'E' || text[at] == '+' || text[at] == '-')) {
            ++at;
            ++digits;
        }
        return digits > 0 && at > start;
    }
    bool Value() {
        if (++depth > 64) return false;
        SkipSpace();
        bool valid = false;
        if (at >= text.size()) {
            valid = false;
        } else if (text[at] == '{') {
            ++at;
            valid = Take('}') || Members();
        } else if (text[at] == '[') {
            ++at;
            valid = Take(']') || Elements();
        } else if (text[at] == '"') {
            valid = String();
        } else {
            valid = Word("true") || Word("false") || Word("null") || Number();
        }
        --depth;
        return valid;
    }
    bool Members() {
        do {
            SkipSpace();
            if (!String() || !Take(':') || !Value()) return false;
        } while (Take(','));
        return Take('}');
    }
    bool Elements() {
        do {
            if (!Value()) return false;
        } while (Take(','));
        return Take(']');
    }
};

bool IsJson(const std::string& text) {
    JsonReader reader{text};
    if (!reader.Value()) return false;
    reader.SkipSpace();
    return reader.at == text.size();
}


// Statements must be told in text order.
struct Notes {
    uint32_t lastLine;
    const char* lastStatement;
};

void NoteStatement(void* context, const ScriptStatementNote& note) {
    Notes& notes = *static_cast<Notes*>(context);
    FUZZ_ASSERT(notes.lastStatement == nullptr || note.statement > notes.lastStatement);
    FUZZ_ASSERT(note.line >= notes.lastLine && note.line >= 1);
    notes.lastStatement = note.statement;
    notes.lastLine = note.line;
}

// Loads text and returns the result; the plan as JSON in *json when loaded.
int Load(const uint8_t* bytes, size_t size, std::string* json) {
    const int result = LoadUpdateScriptText(reinterpret_cast<const char*>(bytes), static_cast<uint32_t>(size), nullptr);
    json->clear();
    if (result == kScriptLoaded) FUZZ_ASSERT(PlanAsJson(json));
    return result;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    if (size > (1u << 20)) return 0;
    Notes notes{0, nullptr};
    const ScriptLoadObserver observer{nullptr, NoteStatement, &notes};
    const int result =
        LoadUpdateScriptText(reinterpret_cast<const char*>(bytes), static_cast<uint32_t>(size), &observer);
    FUZZ_ASSERT(result == kScriptLoaded || result == kScriptMalformed);
    FUZZ_ASSERT(g_copyTable.count <= kPlanTableCapacity && g_deleteTable.count <= kPlanTableCapacity &&
                g_renameTable.count <= kPlanTableCapacity && g_shortcutTable.count <= kPlanTableCapacity &&
                g_createFolderTable.count <= kPlanTableCapacity &&
                g_filePatchTable.count <= kRuleTableCapacity && g_convertRuleTable.count <= kRuleTableCapacity);
    if (result != kScriptLoaded) return 0;

    std::string json;
    FUZZ_ASSERT(PlanAsJson(&json));
    std::string again;
    FUZZ_ASSERT(Load(bytes, size, &again) == kScriptLoaded && again == json);
    FUZZ_ASSERT(IsJson(json));
    return 0;
}
