// Clearing the five plan tables.
#include "script/update_plan.h"

UpdateSettings g_settings;
FixedTable<CopyEntry, kPlanTableCapacity> g_copyTable;
FixedTable<DeleteEntry, kPlanTableCapacity> g_deleteTable;
FixedTable<RenameEntry, kPlanTableCapacity> g_renameTable;
FixedTable<ShortcutEntry, kPlanTableCapacity> g_shortcutTable;
FixedTable<CreateFolderEntry, kPlanTableCapacity> g_createFolderTable;

void ClearPlanTables() {
    ClearTable(g_copyTable);
    ClearTable(g_shortcutTable);
    ClearTable(g_deleteTable);
    ClearTable(g_renameTable);
    ClearTable(g_createFolderTable);
}
