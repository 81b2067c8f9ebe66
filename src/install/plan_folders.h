// The folders an update makes before its copies (CreateFolder): part of the
// copy step, so that a copy may go into a folder the install lacks.
#pragma once

#include <cstdint>

// Makes the folder of every folder entry below installFolder, with its
// parents, in table order. A folder that exists is kept; each folder made is
// flushed in its parent, so that its name survives a power cut. An empty
// name makes nothing. Returns the table's count when every folder is there,
// else the index of the entry that failed, after a diagnostic: a file stands
// in the way, the folder cannot be made or flushed, or its path does not fit.
uint32_t CreatePlanFolders(const char* installFolder);
