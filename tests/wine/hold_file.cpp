// Holds a file open the way a running game may: for reading and writing, with
// others allowed to write but not to read it. Used by the Windows tests to
// make the updater's copy meet a file it cannot replace.
//
//   hold_file FILE RELEASE
//
// Opens FILE, prints "holding" and keeps it open until the file RELEASE
// exists (or a minute has passed), then exits with 0; exits with 1 when FILE
// cannot be opened, 2 on a bad command line.
#include <windows.h>

#include <cstdio>

namespace {

// A guard against a test that never releases the file, not a measure.
constexpr DWORD kPatienceMs = 60000;
constexpr DWORD kPollMs = 30;

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: hold_file FILE RELEASE\n");
        return 2;
    }
    const HANDLE file = ::CreateFileW(argv[1], GENERIC_READ | GENERIC_WRITE, FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        std::printf("cannot open (error %lu)\n", ::GetLastError());
        return 1;
    }
    std::printf("holding\n");
    std::fflush(stdout);
    for (DWORD waited = 0; waited < kPatienceMs; waited += kPollMs) {
        if (::GetFileAttributesW(argv[2]) != INVALID_FILE_ATTRIBUTES) break;
        ::Sleep(kPollMs);
    }
    ::CloseHandle(file);
    return 0;
}
