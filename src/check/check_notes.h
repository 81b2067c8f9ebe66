// What the load of a script told the check, statement by statement, and
// how a warning names its line.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "script/script_lexer.h"

struct CheckNotes {
    std::string warnings;             // one line each
    std::string failure;              // why the statement that failed did, and the statement
    uint32_t failureLine = 0;         // its line
    std::vector<uint32_t> copyLines;  // line of each stored CopyFile, in table order
    uint32_t settingLines[kLastKeyword + 1] = {};  // last line of each directive
    std::string planErrors;           // errors about statements that load, one a line
    bool utf8Text = false;            // the script is UTF-8 text
    std::string packedSources;        // sources found in the package, ", " between them
    std::string looseSources;         // sources found loose beside the updater, the same
};

// "Update.ini(line): ".
std::string LinePrefix(uint32_t line);

// Adds warning, on line, to notes.
void Warn(CheckNotes& notes, uint32_t line, const std::string& warning);
