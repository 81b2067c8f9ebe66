// What updpack try points this process at instead of the user's: a key of
// its own as the registry's root and a Programs folder, set by
// win32_trial.cpp and kept where they are read, so that the updater never
// links the trial's functions. Used inside the Win32 layer only.
#pragma once

#include <string>

// The key below HKEY_CURRENT_USER that stands for it from now on; empty:
// HKEY_CURRENT_USER itself again. Kept by win32_registry.cpp.
void SetPrivateRegistryRoot(const std::wstring& key);

// The Programs folder (Shift_JIS) from now on; empty: the user's again.
// Kept by win32_shell.cpp.
void SetPrivateProgramsFolder(const std::string& folder);
