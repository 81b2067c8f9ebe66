// Shared by the fuzz targets: a private working folder and the check that
// ends a run with a finding.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Makes a fresh folder (on a memory file system where there is one) the
// current directory, once per process, so targets that go through files
// write them there. The corpus folders must then be given as absolute paths.
void EnterFuzzFolder();

// Writes bytes to the file name in the current directory; aborts on failure.
void WriteFuzzFile(const char* name, const uint8_t* bytes, size_t size);

// Ends the run with a finding when condition is false.
#define FUZZ_ASSERT(condition) FuzzAssert((condition), #condition, __FILE__, __LINE__)
void FuzzAssert(bool condition, const char* text, const char* file, int line);
