// Member names and the script text that updpack diff writes.
#include "updpack_script.h"

#include <algorithm>
#include <cstring>
#include <set>

#include "common/ascii.h"
#include "common/sjis_text.h"
#include "package/package_directory.h"
#include "package/package_format.h"
#include "platform/platform_files.h"
#include "script/rule_tables.h"
#include "script/script_faults.h"
#include "script/script_lexer.h"
#include "script/script_loader.h"
#include "script/update_plan.h"

namespace {

constexpr size_t kLongestMemberName = kLongNameFieldWidth - 1;
constexpr size_t kLongestExtension = 8;  // a longer "extension" is kept as part of the stem

std::string Folded(const std::string& name) {
    std::string folded = name;
    FoldAsciiCase(folded.data(), folded.size());
    return folded;
}

// The name's stem cut to fit with suffix and extension in a member name.
std::string NameWithSuffix(const std::string& base, const std::string& suffix) {
    const size_t dot = base.rfind('.');
    const bool hasExtension = dot != std::string::npos && dot > 0 && base.size() - dot <= kLongestExtension;
    const std::string extension = hasExtension ? base.substr(dot) : std::string();
    const std::string stem = hasExtension ? base.substr(0, dot) : base;
    const size_t room = kLongestMemberName - suffix.size() - extension.size();
    return stem.substr(0, FitToCharBoundary(stem.c_str(), room)) + suffix + extension;
}

// A member name for a file whose destination is destination, unused in used.
std::string FreeMemberName(const std::string& destination, const std::set<std::string>& used) {
    std::string base = BaseNameOf(destination.c_str());
    if (MemberNameProblem(base.c_str()) != nullptr) base = "member";
    if (base.size() <= kLongestMemberName && used.count(Folded(base)) == 0) return base;
    for (unsigned n = 1;; ++n) {
        std::string suffix(1, '~');
        suffix += std::to_string(n);
        const std::string name = NameWithSuffix(base, suffix);
        if (used.count(Folded(name)) == 0) return name;
    }
}

// Whether the files at a and b hold the same bytes.
bool SameBytes(const std::string& a, const std::string& b) {
    return a == b || CompareFiles(a.c_str(), b.c_str(), nullptr, 0, 0, nullptr) == kFilesEqual;
}

// The file lines of one kind: "Keyword = fields" each.
int AddLine(std::string* script, const char* keyword, std::initializer_list<std::string> fields,
            std::string* problem) {
    std::string line = std::string(keyword) + " =";
    const char* separator = " ";
    for (const std::string& text : fields) {
        std::string field;
        if (!ScriptField(text, kNameFieldSize, &field)) {
            *problem = text + ": a name a script cannot hold (more than 63 bytes, or a ',', '=', '\"' or tab)";
            return 0;
        }
        line += separator + field;
        separator = ", ";
    }
    *script += line + "\r\n";
    return 1;
}

// The byte ranges of the template's file lines, noted while it loads.
struct FileLineRanges {
    const char* text;                               // the loaded copy of the template
    std::vector<std::pair<size_t, size_t>> ranges;  // from a statement's start to its last field's line end
    std::string failure;                            // why the template does not load, and where
};

bool IsFileLine(const ScriptStatementNote& note) {
    switch (note.keyword) {
    case kKeywordCopyFile:
    case kKeywordDeleteFile:
    case kKeywordRenameFile:
    case kKeywordCreateFolder:
        return true;
    case kKeywordConvertFile:
    case kKeywordConvertSave: {
        const std::string word = RuleWordOf(note);
        return KeywordId(word.c_str()) == kKeywordBinary || KeywordId(word.c_str()) == kKeywordAscii;
    }
    default:
        return false;
    }
}

void NoteTemplateText(void* context, const char* text, uint32_t) {
    static_cast<FileLineRanges*>(context)->text = text;
}

void NoteTemplateStatement(void* context, const ScriptStatementNote& note) {
    FileLineRanges& lines = *static_cast<FileLineRanges*>(context);
    if (note.outcome == kStatementFailed)
        lines.failure = "line " + std::to_string(note.line) + ": " + FaultReason(note);
    if (!IsFileLine(note)) return;
    const StatementReading& reading = *note.reading;
    const char* last = reading.count > 0 ? reading.fields[reading.count - 1].start : note.statement;
    const char* end = LineEnd(last);
    // The line end goes with the line: CR LF, CR or LF.
    if (*end == '\r') ++end;
    if (*end == '\n') ++end;
    lines.ranges.emplace_back(static_cast<size_t>(note.statement - lines.text),
                              static_cast<size_t>(end - lines.text));
}

}  // namespace

int ScriptField(const std::string& text, size_t capacity, std::string* field) {
    if (text.size() + 1 > capacity || text.find_first_of(",=\"\t\r\n") != std::string::npos) return 0;
    *field = text.empty() || text.find(' ') != std::string::npos ? "\"" + text + "\"" : text;
    return 1;
}

int NameMembers(const MergedChanges& merged, const std::vector<std::string>& taken,
                std::vector<PackedMember>* members, std::map<std::string, std::string>* memberOf,
                std::string* problem) {
    std::set<std::string> used;
    for (const std::string& name : taken) used.insert(Folded(name));
    for (const CopyLine& line : merged.copies) {
        for (const std::string* source : {&line.standardSource, &line.addContentsSource}) {
            if (source->empty() || memberOf->count(*source) != 0) continue;
            PlatformFile* file = OsOpenForReading(source->c_str());
            uint64_t size = 0;
            const int measured = file != nullptr && OsFileLength(file, &size);
            OsCloseFile(file);
            if (!measured) {
                *problem = *source + ": the file cannot be read";
                return 0;
            }
            const auto same = std::find_if(members->begin(), members->end(), [&](const PackedMember& member) {
                return member.size == size && SameBytes(member.sourcePath, *source);
            });
            if (same != members->end()) {
                (*memberOf)[*source] = same->name;
                continue;
            }
            const std::string name = FreeMemberName(line.destination, used);
            used.insert(Folded(name));
            members->push_back({name, *source, size});
            (*memberOf)[*source] = name;
        }
    }
    return 1;
}

int TemplateWithoutFileLines(const std::string& text, std::string* kept, std::string* problem) {
    FileLineRanges lines{nullptr, {}, {}};
    const ScriptLoadObserver observer{NoteTemplateText, NoteTemplateStatement, &lines};
    const int loaded = LoadUpdateScriptText(text.data(), static_cast<uint32_t>(text.size()), &observer);
    if (loaded != kScriptLoaded) {
        *problem = "the template does not load: " + (lines.failure.empty() ? ScriptLoadMessage(loaded) : lines.failure);
        return 0;
    }
    kept->clear();
    size_t from = 0;
    for (const auto& [start, end] : lines.ranges) {
        kept->append(text, from, start - from);
        from = end;
    }
    kept->append(text, from, std::string::npos);
    if (!kept->empty() && kept->back() != '\n' && kept->back() != '\r') *kept += "\r\n";
    return 1;
}

int ComposeScript(const std::string& settings, const MergedChanges& merged,
                  const std::map<std::string, std::string>& memberOf, std::string* script, std::string* problem) {
    *script = settings;
    const auto member = [&](const std::string& source) {
        return source.empty() ? std::string() : memberOf.at(source);
    };
    for (const std::string& folder : merged.folders) {
        if (!AddLine(script, "CreateFolder", {folder}, problem)) return 0;
    }
    for (const CopyLine& line : merged.copies) {
        const std::initializer_list<std::string> fields{member(line.standardSource),
                                                        member(line.addContentsSource), line.destination};
        if (!AddLine(script, "CopyFile", fields, problem)) return 0;
    }
    for (const std::string& path : merged.deletes) {
        if (!AddLine(script, "DeleteFile", {path}, problem)) return 0;
    }
    for (const auto& [from, to] : merged.renames) {
        if (!AddLine(script, "RenameFile", {from, to}, problem)) return 0;
    }
    for (const PatchedFile& patch : merged.patches) {
        std::string name;
        if (!ScriptField(patch.path, kRuleNameSize, &name)) {
            *problem = patch.path + ": a name a script cannot hold";
            return 0;
        }
        for (const ChangedRun& run : patch.runs) {
            for (size_t done = 0; done < run.bytes.size(); done += kPatchDataSize) {
                std::string hex;
                const size_t length = std::min<size_t>(kPatchDataSize, run.bytes.size() - done);
                for (size_t i = 0; i < length; ++i)
                    AppendHexByte(&hex, static_cast<unsigned char>(run.bytes[done + i]));
                *script += "ConvertFile BINARY = " + name + ", " + std::to_string(run.offset + done) + ", " + hex +
                           "\r\n";
            }
        }
    }
    return 1;
}
