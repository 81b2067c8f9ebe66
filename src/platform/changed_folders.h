// The folders whose entries a step of the update changed (a file created,
// deleted, renamed or swapped in, a folder made), each flushed once before
// the step is recorded as done: a file's flush does not make its name
// survive a power cut, its folder's does.
#pragma once

#include <string>
#include <vector>

struct ChangedFolders {
    std::vector<std::string> folders;  // Shift_JIS paths, each once
};

// Notes the folder that holds path (a Shift_JIS path with '\' separators).
void NoteFolderOf(ChangedFolders* changed, const char* path);

// Flushes every folder noted. Returns 1, or 0 after a diagnostic.
int FlushChangedFolders(const ChangedFolders& changed);
