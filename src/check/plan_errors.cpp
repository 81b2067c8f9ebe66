#include "check/plan_errors.h"

#include <cstdint>
#include <functional>

#include "common/sjis_text.h"
#include "common/version.h"
#include "script/rule_tables.h"
#include "script/script_lexer.h"
#include "script/script_loader.h"
#include "script/update_plan.h"

namespace {

struct EditionColumn {
    const char* name;    // as messages name the edition
    uint32_t addContents;
};

constexpr EditionColumn kEditions[] = {{"standard", 0}, {"add-contents", 1}};

// Where a message about directive keyword points: its last line, or the
// script as a whole when it has none.
std::string Where(const CheckNotes& notes, int keyword) {
    const uint32_t line = notes.settingLines[keyword];
    return line != 0 ? LinePrefix(line) : std::string(kScriptFileName) + ": ";
}

// An error when the text setting of keyword is empty. Returns 1 when it is not.
int RequireText(const CheckNotes& notes, int keyword, const char* text, const char* consequence, std::string* errors) {
    if (text[0] != '\0') return 1;
    *errors += Where(notes, keyword) + "error: " + KeywordText(keyword) + " is missing or empty: " + consequence + "\n";
    return 0;
}

// message(first, second, editions) for each edition whose versions of first
// and second meet test, a line each; one line for both editions when their
// numbers are the same.
template <typename Test, typename Message>
std::string PerEdition(const VersionPair& first, const VersionPair& second, Test test, Message message) {
    const bool standard = test(first.standard, second.standard);
    const bool addContents = test(first.addContents, second.addContents);
    if (standard && addContents && first.standard == first.addContents && second.standard == second.addContents)
        return message(first.standard, second.standard, "(both editions)") + "\n";
    std::string found;
    if (standard) found += message(first.standard, second.standard, "(standard edition)") + "\n";
    if (addContents) found += message(first.addContents, second.addContents, "(add-contents edition)") + "\n";
    return found;
}

// Each line of findings, given where directive keyword stands and how severe
// it is ("error: ", "warning: ").
std::string Located(const CheckNotes& notes, int keyword, const char* severity, const std::string& findings) {
    std::string lines;
    for (size_t start = 0; start < findings.size();) {
        const size_t end = findings.find('\n', start) + 1;
        lines += Where(notes, keyword) + severity + findings.substr(start, end - start);
        start = end;
    }
    return lines;
}

}  // namespace

int CheckPlanSettings(const CheckNotes& notes, std::string* errors) {
    int sound = RequireText(notes, kKeywordRegistory, g_settings.registrySubkey,
                            "every player would be told the game is not installed", errors);
    sound &= RequireText(notes, kKeywordAppTitle, g_settings.appTitle, "the messages would name no game", errors);
    if (g_settings.newVersion.standard == 0 && g_settings.newVersion.addContents == 0) {
        *errors += Where(notes, kKeywordNewVersion) +
                   "error: NewVersion is missing or 0: the update would record no version\n";
        sound = 0;
    }
    for (const EditionColumn& edition : kEditions) {
        uint32_t copies = 0;
        for (uint32_t i = 0; i < g_copyTable.count; ++i) {
            const CopyEntry& entry = g_copyTable.records[i];
            if ((edition.addContents != 0 ? entry.addContentsSource : entry.standardSource)[0] != '\0') ++copies;
        }
        if (copies == 0) {
            *errors += std::string(kScriptFileName) + ": error: no CopyFile copies anything for the " + edition.name +
                       " edition: its update always fails with the write-failure message\n";
            sound = 0;
        }
    }
    const std::string found =
        Located(notes, kKeywordNewVersion, "error: ",
                PerEdition(g_settings.newVersion, g_settings.supportVersion, std::less<VersionNumber>(),
                           [](VersionNumber newVersion, VersionNumber support, const char* editions) {
                               return "NewVersion " + std::to_string(newVersion) + " " + editions +
                                      " is below SupportVersion " + std::to_string(support) +
                                      ": no player can apply it without being refused";
                           })) +
        Located(notes, kKeywordSaveVersion, "error: ",
                PerEdition(g_settings.saveVersion, g_settings.newVersion, std::greater<VersionNumber>(),
                           [](VersionNumber save, VersionNumber newVersion, const char* editions) {
                               return "SaveVersion " + std::to_string(save) + " " + editions +
                                      " is above NewVersion " + std::to_string(newVersion) +
                                      ": every player's saves would be deleted, even on the newest version";
                           }));
    *errors += found;
    return sound && found.empty();
}

void WarnAboutPlan(CheckNotes& notes) {
    notes.warnings += Located(
        notes, kKeywordNewVersion, "warning: ",
        PerEdition(g_settings.newVersion, g_settings.supportVersion,
                   [](VersionNumber newVersion, VersionNumber support) {
                       return newVersion != 0 && newVersion == support;
                   },
                   [](VersionNumber newVersion, VersionNumber, const char* editions) {
                       return "NewVersion " + std::to_string(newVersion) + " " + editions +
                              " equals SupportVersion: the version is not raised, so every player who can apply "
                              "the update is asked whether to apply it again";
                   }));
    for (uint32_t i = 0; i < g_copyTable.count && i < notes.copyLines.size(); ++i) {
        for (uint32_t j = i + 1; j < g_copyTable.count && j < notes.copyLines.size(); ++j) {
            if (!EqualsNoCase(g_copyTable.records[i].destination, g_copyTable.records[j].destination)) continue;
            Warn(notes, notes.copyLines[i],
                 std::string("CopyFile: the destination \"") + g_copyTable.records[i].destination +
                     "\" is written again by line " + std::to_string(notes.copyLines[j]) +
                     ", whose content stays");
            break;
        }
    }
}

std::string SavesSummary() {
    const uint32_t rules = g_convertRuleTable.count;
    const std::string kept = rules == 0 ? std::string("they stay as they are")
                                        : "they are converted by " + std::to_string(rules) +
                                              (rules == 1 ? " rule" : " rules");
    std::string summary;
    for (const EditionColumn& edition : kEditions) {
        const VersionNumber saveVersion = ForEdition(g_settings.saveVersion, edition.addContents);
        summary += std::string(kScriptFileName) + ": note: saves of the " + edition.name + " edition: ";
        if (saveVersion != 0)
            summary += "installed below " + std::to_string(saveVersion) + " they are deleted; from it on ";
        summary += kept + "\n";
    }
    return summary;
}
