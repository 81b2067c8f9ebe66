// What the update takes from the package: the package whole, every CopyFile
// source there.
#pragma once

#include <string>

#include "check/check_notes.h"

// Errors when UpdateData.dat is there but damaged: a directory entry that
// lies outside the file, named; a directory or digest list that does not
// match; each member whose bytes do not match its SHA-256, named. A warning
// when it has no digest list. Returns 1 when there is no package or it is
// whole.
int CheckPackage(std::string* warnings, std::string* errors);

// Errors for the copy entries that would make the copy step fail: a source
// of either edition that is not there whole, a destination that is empty.
// An empty source copies nothing for its edition. Warns in notes of a source
// found only loose, and notes where each source was found. Returns 1 when
// none fails.
int CheckCopySources(CheckNotes& notes, std::string* errors);

// Which sources CheckCopySources found in the package and which loose beside
// the updater (and to be shipped there), a note line each.
std::string SourcesSummary(const CheckNotes& notes);
