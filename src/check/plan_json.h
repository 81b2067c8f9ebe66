// The loaded update plan as JSON: the settings, each plan table, each byte
// patch and each conversion rule, its fields named by the directive and rule
// statement tables. Texts are converted from Shift_JIS to UTF-8 first.
#pragma once

#include <string>

// Writes the plan as JSON text (UTF-8, indented by two spaces, ending in a
// line end) into *json. Returns 1, or 0 when memory runs out.
int PlanAsJson(std::string* json);
