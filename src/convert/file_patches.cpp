#include "convert/file_patches.h"

#include <cstdint>

#include "common/run_log.h"
#include "common/sjis_text.h"
#include "script/rule_tables.h"
#include "platform/last_error.h"
#include "platform/platform_files.h"
#include "platform/platform_process.h"
#include "platform/platform_replacement.h"

namespace {

// Makes the file at path a file of its own, when it is a link to a file
// elsewhere or has other hard links (a backup made with links, a file kept
// outside the game): a copy, written whole beside it and swapped in, so that
// the patches change what the game folder holds and nothing else. Returns 1,
// or 0 after a diagnostic.
int GiveOwnFile(const char* path) {
    PlatformFile* source = OsOpenForReading(path);
    uint64_t length = 0;
    if (source == nullptr || !OsFileLength(source, &length)) {
        DiagnoseFileError(path, "cannot read %s to patch it", path);
        OsCloseFile(source);
        return 0;
    }
    PlatformReplacement* replacement = OsBeginReplacement(path);
    int copied = replacement != nullptr && OsCopyFileRange(source, 0, length, OsReplacementFile(replacement), nullptr);
    OsCloseFile(source);
    if (copied) {
        copied = OsCommitReplacement(replacement);
    } else {
        OsAbandonReplacement(replacement);
    }
    if (!copied) {
        DiagnoseFileError(path, "cannot make %s a file of its own to patch it", path);
        return 0;
    }
    LogEvent("%s had other names: patched as a file of its own", path);
    return 1;
}

// Writes one patch into the file at path. Returns 1 when written, 0 when
// the file is missing (the patches end there, silently) and -1 when the
// system failed, after a diagnostic.
int WritePatch(const FilePatch& patch, const char* path) {
    if (OsHasOtherNames(path) && !GiveOwnFile(path)) return -1;
    PlatformFile* file = OsOpenExistingForWriting(path);
    if (file == nullptr) {
        if (OsLastErrorKind() == kErrorAbsent || OsIsFolder(path)) {
            LogLastError("patches end at %s", path);
            return 0;
        }
        DiagnoseFileError(path, "cannot open %s to patch it", path);
        return -1;
    }
    // Never more than the record's data, whatever its length field says.
    int written = 1;
    if (patch.length > 0 && static_cast<size_t>(patch.length) <= sizeof patch.data)
        written = OsWriteFileAt(file, static_cast<uint64_t>(patch.offset), patch.data,
                                static_cast<uint32_t>(patch.length));
    if (!written) DiagnoseFileError(path, "cannot patch %s", path);
    OsCloseFile(file);
    if (!written) return -1;
    LogEvent("patched %s: %d bytes at %d", path, patch.length, patch.offset);
    return 1;
}

// Writes the patches in table order into group's files. Returns 1, or 0
// when one could not be written.
int WritePatches(const char* installFolder, PlatformFlushGroup* group) {
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
            return 1;
        }
        const int written = WritePatch(patch, path);
        if (written <= 0) return written == 0;
        if (!OsAddToFlushGroup(group, path)) {
            DiagnoseFileError(path, "cannot flush %s", path);
            return 0;
        }
    }
    return 1;
}

}  // namespace

int ApplyFilePatches(const char* installFolder) {
    if (g_filePatchTable.count == 0) return 1;
    PlatformFlushGroup* group = OsBeginFlushGroup(installFolder);
    int applied = group != nullptr && WritePatches(installFolder, group);
    if (group == nullptr) {
        DiagnoseFileError(installFolder, "cannot open %s to patch its files", installFolder);
    } else if (applied && !OsFlushGroup(group)) {
        DiagnoseFileError(installFolder, "cannot flush the patched files in %s", installFolder);
        applied = 0;
    }
    OsEndFlushGroup(group);
    return applied;
}
