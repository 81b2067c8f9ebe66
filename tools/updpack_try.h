// updpack try: an update applied to a temporary copy of an installed game
// with the updater's own code, each step reported, every failure with its
// cause, and every path where the result differs from the game expected.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_set>

#include "common/version.h"

struct TrialRequest {
    const char* updateFolder;   // the update: Update.ini and UpdateData.dat, loose files beside them
    const char* game;           // the install to copy
    uint32_t addContents;       // the edition: 0 standard, 1 add-contents
    bool installedGiven;        // installed holds the version to try from
    VersionNumber installed;    // else the edition's SupportVersion
    const char* expected;       // the game the update should make; nullptr: not compared
    // Files that game and expected hold alike: the comparison need not read
    // the copy's file while it is still game's own (updpack diff knows them).
    const std::unordered_set<std::string>* sameAsGame;
};

struct TrialOutcome {
    int status;        // the updater's exit status; -1 when the update could not be tried
    int failures;      // failures found, each told with its cause
    int differences;   // paths where the result differs from expected
};

// Tries the update of request, telling each step on standard output. The
// current folder is the update's folder afterwards; paths of request are
// taken in full first. Fills outcome and returns 1 when the update applied
// cleanly (status 0, no failure) and matches expected, when given.
int TryUpdate(const TrialRequest& request, TrialOutcome* outcome);

// updpack try FOLDER --game OLD [--edition standard|add-contents]
// [--installed VERSION] [--expect NEW]: arguments after "try". Returns an
// exit status of updpack.
int RunTry(int argc, char** argv);

// The number at text, as the script writes versions (1020 for 1.02).
// Returns 1, or 0 when text is no number.
int ParseVersionArgument(const char* text, VersionNumber* version);
