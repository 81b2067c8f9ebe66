// Clearing the four plan tables.
#include "script/update_plan.h"

void ClearPlanTables() {
    ClearTable(g_copyTable);
    ClearTable(g_shortcutTable);
    ClearTable(g_deleteTable);
    ClearTable(g_renameTable);
}
