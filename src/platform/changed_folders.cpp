#include "platform/changed_folders.h"

#include "common/sjis_text.h"
#include "platform/last_error.h"
#include "platform/platform_replacement.h"

void NoteFolderOf(ChangedFolders* changed, const char* path) {
    // BaseNameOf knows double-byte characters: a 0x5C second byte is no
    // separator.
    const size_t length = static_cast<size_t>(BaseNameOf(path) - path);
    const std::string folder = length > 1 ? std::string(path, length - 1) : std::string(1, '.');
    for (const std::string& noted : changed->folders) {
        if (noted == folder) return;
    }
    changed->folders.push_back(folder);
}

int FlushChangedFolders(const ChangedFolders& changed) {
    for (const std::string& folder : changed.folders) {
        if (!OsFlushFolder(folder.c_str())) {
            DiagnoseFileError(folder.c_str(), "cannot flush the folder %s", folder.c_str());
            return 0;
        }
    }
    return 1;
}
