// Appending to and clearing the four plan tables.
#include "script/update_plan.h"

#include "common/sjis_text.h"

namespace {

// Appends record to table unless a text did not fit or the table is full.
template <typename Record>
int AddChecked(FixedTable<Record, kPlanTableCapacity>& table, const Record& record, bool textsFit) {
    if (!textsFit) return kPlanTextTooLong;
    return AddRecord(table, record) ? kPlanRecordAdded : kPlanRecordDropped;
}

}  // namespace

int AddCopyEntry(const char* standardSource, const char* addContentsSource, const char* destination) {
    CopyEntry entry{};
    const bool fit = CopyText(entry.standardSource, standardSource) &&
                     CopyText(entry.addContentsSource, addContentsSource) &&
                     CopyText(entry.destination, destination);
    return AddChecked(g_copyTable, entry, fit);
}

int AddDeleteEntry(const char* fileName) {
    DeleteEntry entry{};
    const bool fit = CopyText(entry.fileName, fileName);
    return AddChecked(g_deleteTable, entry, fit);
}

int AddRenameEntry(const char* oldName, const char* newName) {
    RenameEntry entry{};
    const bool fit = CopyText(entry.oldName, oldName) && CopyText(entry.newName, newName);
    return AddChecked(g_renameTable, entry, fit);
}

int AddShortcutEntry(const char* linkName, const char* target, const char* arguments,
                     const char* description, const char* iconFile, const char* subfolder) {
    ShortcutEntry entry{};
    const bool fit = CopyText(entry.linkName, linkName) && CopyText(entry.target, target) &&
                     CopyText(entry.arguments, arguments) && CopyText(entry.description, description) &&
                     CopyText(entry.iconFile, iconFile) && CopyText(entry.subfolder, subfolder);
    return AddChecked(g_shortcutTable, entry, fit);
}

void ClearPlanTables() {
    ClearTable(g_copyTable);
    ClearTable(g_shortcutTable);
    ClearTable(g_deleteTable);
    ClearTable(g_renameTable);
}
