// Telling UTF-8 text from Shift_JIS text.
#pragma once

#include <cstddef>

// Index of the first byte above 0x7F when the whole text (length bytes) is
// valid UTF-8 that holds such bytes; length otherwise. Shift_JIS Japanese
// text is almost never valid UTF-8: its first lead byte or the byte after it
// breaks the rules.
size_t FindUtf8Text(const char* text, size_t length);
