// Setting the system's last error of a failure the crash layer injects.
#pragma once

// Sets the last error (errno, GetLastError) to the one named: EIO, ENOSPC,
// EACCES or EROFS; another name sets EIO's.
void SetInjectedError(const char* name);
