// The byte-patch step of an update: the BINARY and ASCII statements of the
// script written into installed files.
#pragma once

// Writes every patch of the byte-patch table into its file below
// installFolder, in table order: the patch's bytes at its offset from the
// start of the file. A file is opened only if it exists, shared for writing,
// and is never created. A patch of length 0 opens and closes its file and
// writes nothing; an offset beyond the end extends the file.
//
// A patch whose file is missing (or whose path passes 259 bytes) ends the
// step there, silently: earlier patches stay written, later ones are not
// attempted. A patch with a negative offset is skipped and the step goes on.
// The patched files are flushed before the step ends.
//
// Returns 1, or 0 after a diagnostic when a file that exists cannot be
// opened (no rights, held by another program) or written, or the flush
// fails: the update is then incomplete.
int ApplyFilePatches(const char* installFolder);
