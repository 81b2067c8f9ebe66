// What updpack try points this process at instead of the user's: a private
// registry file and a Programs folder, set by posix_trial.cpp and kept where
// they are read, so that the updater never links the trial's functions.
// Used inside the POSIX layer only.
#pragma once

#include <string>

// The registry file's native path from now on; empty: the user's again.
// Kept by posix_registry.cpp.
void SetPrivateRegistryFile(const std::string& native);

// The Programs folder's native path from now on; empty: the user's again.
// Kept by posix_shell.cpp.
void SetPrivateProgramsFolder(const std::string& native);
