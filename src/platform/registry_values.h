// Reading registry values, shared by both platform layers: each layer
// delivers a value's raw bytes, and the typed queries of
// platform_registry.h are built on them once.
#pragma once

#include <string>

#include "platform/platform_registry.h"

// The bytes of value name under key, as the system's ANSI query would give
// them: a string as Shift_JIS with its terminator, any other type as stored.
// Returns 0 when the value is missing or cannot be read.
int QueryRegistryValueBytes(PlatformRegistryKey* key, const char* name, std::string* bytes);
