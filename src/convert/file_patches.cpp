#include "convert/file_patches.h"

#include <cstdint>

#include "common/sjis_text.h"
#include "convert/rule_tables.h"
#include "platform/platform.h"

namespace {


}  // namespace

void ApplyFilePatches(const char* installFolder) {
    for (uint32_t i = 0; i < g_filePatchTable.count; ++i) {
        const FilePatch& patch = g_filePatchTable.records[i];
        // No position before the start of a file exists; the write must not
        // land anywhere else instead.
        if (patch.offset < 0) continue;
        char path[kPathFieldSize];
        if (!JoinPath(path, sizeof path, installFolder, patch.fileName)) return;
        PlatformFile* file = OsOpenExistingForWriting(path);
        if (file == nullptr) return;
        // Never more than the record's data, whatever its length field says.
        if (patch.length > 0 && static_cast<size_t>(patch.length) <= sizeof patch.data)
            OsWriteFileAt(file, static_cast<uint64_t>(patch.offset), patch.data, static_cast<uint32_t>(patch.length));
        OsCloseFile(file);
    }
}
