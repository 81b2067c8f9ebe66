// updpack diff: writes the update that turns one build of a game into the
// next, and proves it with updpack try.
#pragma once

// updpack diff OLD NEW --out FOLDER [--template FILE] [--title TEXT]
// [--registry KEY] [--new-version N[,M]] [--support-version N[,M]]
// [--save-version N[,M]] [--ac-old OLD --ac-new NEW]: arguments after
// "diff". Returns an exit status of updpack.
int RunDiff(int argc, char** argv);
