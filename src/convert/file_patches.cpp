#include "convert/file_patches.h"

#include <cstdint>

#include "common/run_log.h"
#include "common/sjis_text.h"
#include "convert/rule_tables.h"
#include "platform/platform.h"

void ApplyFilePatches(const char* installFolder) {
    for (uint32_t i = 0; i < g_filePatchTable.count; ++i) {
        const FilePatch& patch = g_filePatchTable.records[i];
        // No position before the start of a file exists; the write must not
        // land anywhere else instead.
        if (patch.offset < 0) {
            LogEvent("patch of %s skipped: negative offset %d", patch.fileName, patch.offset);
            continue;
        }
        char path[kPathFieldSize];
        if (!JoinPath(path, sizeof path, installFolder, patch.fileName)) {
            LogEvent("patches end at %s: the path does not fit", patch.fileName);
            return;
        }
        PlatformFile* file = OsOpenExistingForWriting(path);
        if (file == nullptr) {
            char reason[kPathFieldSize];
            OsDescribeLastError(reason, sizeof reason);
            LogEvent("patches end at %s: %s", path, reason);
            return;
        }
        // Never more than the record's data, whatever its length field says.
        int written = 1;
        if (patch.length > 0 && static_cast<size_t>(patch.length) <= sizeof patch.data)
            written = OsWriteFileAt(file, static_cast<uint64_t>(patch.offset), patch.data,
                                    static_cast<uint32_t>(patch.length));
        OsCloseFile(file);
        LogEvent("patched %s: %d bytes at %d%s", path, patch.length, patch.offset, written ? "" : ", not written");
    }
}
