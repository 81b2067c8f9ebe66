// Errors for a plan that loads but whose update is sure to fail for every
// player, and warnings for what is likely a mistake in it.
#pragma once

#include <string>

#include "check/check_notes.h"

// Errors: Registory, AppTitle or NewVersion missing or empty; an edition
// with nothing to copy; an edition whose NewVersion lies below its
// SupportVersion, or whose SaveVersion lies above its NewVersion. Returns 1
// when none is found.
int CheckPlanSettings(const CheckNotes& notes, std::string* errors);

// Warnings: NewVersion equal to SupportVersion (the version not raised);
// two CopyFile lines with one destination (the later content stays).
void WarnAboutPlan(CheckNotes& notes);

// What happens to the saves, a note line per edition: which installed
// versions lose them, and which have them converted, by how many rules.
std::string SavesSummary();
