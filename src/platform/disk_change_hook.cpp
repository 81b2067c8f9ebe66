// The programs' own hook: every change of the disk goes ahead.
#include "platform/disk_change_hook.h"

int AllowDiskChange(DiskChange) {
    return 1;
}
