// The plan's JSON, written with nlohmann/json.
#include "check/plan_json.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "common/ascii.h"
#include "platform/platform_dialog.h"
#include "script/directive_table.h"
#include "script/rule_statements.h"
#include "script/rule_tables.h"
#include "script/script_lexer.h"
#include "script/update_plan.h"

namespace {

// Members keep the order they are added in: the order of the tables.
using Json = nlohmann::ordered_json;

// The text of a fixed field, which ends at its first zero or at its width,
// as a UTF-8 string.
Json TextJson(const char* field, size_t width) {
    const void* zero = std::memchr(field, 0, width);
    const size_t length = zero != nullptr ? static_cast<size_t>(static_cast<const char*>(zero) - field) : width;
    return OsTextAsUtf8(std::string(field, length).c_str());
}

// A single-precision real as the shortest decimal that reads back as the
// same real (0.1, not 0.100000001490116). JSON has no number for an infinity
// or a NaN: a string keeps those visible.
Json RealJson(float value) {
    if (std::isnan(value)) return "nan";
    if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
    char text[32];
    for (int digits = 1; digits <= 9; ++digits) {
        std::snprintf(text, sizeof text, "%.*g", digits, static_cast<double>(value));
        if (std::strtof(text, nullptr) == value) break;
    }
    return std::strtod(text, nullptr);
}

// The value of field in record, by the field's type.
Json FieldJson(const void* record, const StatementField& field) {
    const unsigned char* bytes = static_cast<const unsigned char*>(record) + field.offset;
    if (field.type == kTextField) return TextJson(reinterpret_cast<const char*>(bytes), field.capacity);
    uint32_t word = 0;
    std::memcpy(&word, bytes, sizeof word);
    switch (field.type) {
    case kSignedField: return static_cast<int32_t>(word);
    case kRealField: return RealJson(std::bit_cast<float>(word));
    default: return word;
    }
}

// An object of the count fields of record.
Json FieldsJson(const void* record, const StatementField* fields, int count, Json object = Json::object()) {
    for (int i = 0; i < count; ++i) object[fields[i].name] = FieldJson(record, fields[i]);
    return object;
}

Json SettingsJson() {
    Json settings = Json::object();
    for (int keyword = kFirstDirectiveKeyword; keyword <= kLastDirectiveKeyword; ++keyword) {
        const Directive* directive = DirectiveOf(keyword);
        if (directive == nullptr) continue;
        if (directive->target == kTextSetting) {
            settings[KeywordText(keyword)] = FieldJson(&g_settings, directive->fields[0]);
        } else if (directive->target == kVersionSetting) {
            settings[KeywordText(keyword)] = FieldsJson(&g_settings, directive->fields, directive->fieldCount);
        }
    }
    return settings;
}

// The records of a plan table, each with the fields of its directive.
template <typename Record>
Json TableJson(const FixedTable<Record, kPlanTableCapacity>& table, int keyword) {
    const Directive& directive = *DirectiveOf(keyword);
    Json records = Json::array();
    for (uint32_t i = 0; i < table.count; ++i)
        records.push_back(FieldsJson(&table.records[i], directive.fields, directive.fieldCount));
    return records;
}

// Byte patches: the fields BINARY and ASCII share, the length, and the data
// in hexadecimal.
Json FilePatchesJson() {
    const RuleStatement& statement = *RuleStatementOf(kKeywordBinary);
    Json patches = Json::array();
    for (uint32_t i = 0; i < g_filePatchTable.count; ++i) {
        const FilePatch& patch = g_filePatchTable.records[i];
        Json object = FieldsJson(&patch, statement.fields, statement.fieldCount);
        object["length"] = patch.length;
        const int32_t length = std::clamp<int32_t>(patch.length, 0, static_cast<int32_t>(kPatchDataSize));
        std::string hex;
        for (int32_t b = 0; b < length; ++b) AppendHexByte(&hex, patch.data[b]);
        object[statement.tailFields[0].name] = hex;
        patches.push_back(object);
    }
    return patches;
}

template <size_t Count, size_t Width>
Json NameListJson(const char (&names)[Count][Width], int32_t used) {
    Json list = Json::array();
    const int32_t count = std::clamp<int32_t>(used, 0, static_cast<int32_t>(Count));
    for (int32_t i = 0; i < count; ++i) list.push_back(TextJson(names[i], Width));
    return list;
}

// A rule's tail: FILENAME's items, GRAPHSTATUS's values typed by property.
void AddTailJson(Json& object, const RuleStatement& statement, const ConvertRule& rule) {
    if (statement.tail == kFilenameItemsTail) {
        FilenameRule filename;
        std::memcpy(&filename, &rule.payload, sizeof filename);
        object["aCount"] = filename.aCount;
        object["cCount"] = filename.cCount;
        object[statement.tailFields[0].name] = NameListJson(filename.aNames, filename.aCount);
        object[statement.tailFields[1].name] = NameListJson(filename.cNames, filename.cCount);
    } else if (statement.tail == kGraphValuesTail) {
        GraphStatusRule graph;
        std::memcpy(&graph, &rule.payload, sizeof graph);
        const StatementField& field = statement.tailFields[GraphPropertyTakesReals(graph.property) ? 0 : 1];
        Json values = Json::array();
        for (uint32_t value : graph.values) {
            if (field.type == kRealField) {
                values.push_back(RealJson(GraphValueAsReal(value)));
            } else {
                values.push_back(static_cast<int32_t>(value));
            }
        }
        object[field.name] = values;
    }
}

Json ConvertRulesJson() {
    Json rules = Json::array();
    for (uint32_t i = 0; i < g_convertRuleTable.count; ++i) {
        const ConvertRule& rule = g_convertRuleTable.records[i];
        const RuleStatement* statement = RuleStatementOfKind(rule.kind);
        Json object = Json::object();
        object["kind"] = rule.kind;
        object["keyword"] = statement != nullptr ? KeywordText(statement->keyword) : "";
        if (statement != nullptr) {
            object = FieldsJson(&rule.payload, statement->fields, statement->fieldCount, object);
            AddTailJson(object, *statement, rule);
        }
        rules.push_back(object);
    }
    return rules;
}

}  // namespace

int PlanAsJson(std::string* json) {
    try {
        Json plan = Json::object();
        plan["settings"] = SettingsJson();
        plan["createFolders"] = TableJson(g_createFolderTable, kKeywordCreateFolder);
        plan["copyFiles"] = TableJson(g_copyTable, kKeywordCopyFile);
        plan["deleteFiles"] = TableJson(g_deleteTable, kKeywordDeleteFile);
        plan["renameFiles"] = TableJson(g_renameTable, kKeywordRenameFile);
        plan["shortcuts"] = TableJson(g_shortcutTable, kKeywordShortcut);
        plan["filePatches"] = FilePatchesJson();
        plan["convertRules"] = ConvertRulesJson();
        // Every text is valid UTF-8 already; replace keeps dump from throwing
        // on anything else.
        *json = plan.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
        return 1;
    } catch (const std::bad_alloc&) {
        json->clear();
        return 0;
    }
}
