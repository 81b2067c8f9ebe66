// The update that updpack diff writes: its package members, named, and the
// text of its Update.ini.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "updpack_changes.h"

// One member of the package, or a loose file beside it for an empty one
// (the updater opens no member of size 0).
struct PackedMember {
    std::string name;        // at most 31 bytes, unique without regard to case
    std::string sourcePath;  // the file whose bytes it holds, in full
    uint64_t size;
};

// Names a member for each distinct content among the sources of the copy
// lines: files of equal bytes share one. A member is named after its first
// destination's base name when that fits 31 bytes and no other member,
// name in taken (compared without regard to case) or file of the update's
// folder has it; else after a shortened name with "~N". memberOf receives
// each source path's member name. Returns 1, or 0 with *problem set.
int NameMembers(const MergedChanges& merged, const std::vector<std::string>& taken,
                std::vector<PackedMember>* members, std::map<std::string, std::string>* memberOf,
                std::string* problem);

// text as one field of a script line: in double quotes when it holds a
// space, "" when empty. Returns 0 when no field can hold it: a ',', '=',
// '"', tab or line end inside, or more than capacity - 1 bytes.
int ScriptField(const std::string& text, size_t capacity, std::string* field);

// The template script's text (Shift_JIS) without its file lines (CopyFile,
// DeleteFile, RenameFile, CreateFolder, and BINARY and ASCII patches), which
// diff writes anew, ending in a line end. Returns 1, or 0 with *problem set
// when the template does not load.
int TemplateWithoutFileLines(const std::string& text, std::string* kept, std::string* problem);

// The file lines of merged, after settings (the template's kept text and
// setting lines): CreateFolder, CopyFile naming the members of memberOf,
// DeleteFile, RenameFile, then the BINARY patches. Returns 1, or 0 with
// *problem set when a name cannot be written in a script.
int ComposeScript(const std::string& settings, const MergedChanges& merged,
                  const std::map<std::string, std::string>& memberOf, std::string* script, std::string* problem);
