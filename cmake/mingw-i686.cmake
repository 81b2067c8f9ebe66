# Cross-compiles the 32-bit Windows build with MinGW-w64 (Debian's
# g++-mingw-w64-i686). Use through the "windows" preset, or with
# -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(UPDATER_MINGW_PREFIX i686-w64-mingw32)
# The posix thread model: GoogleTest needs std::mutex, which the win32 model
# of GCC 12 lacks. Static linking keeps winpthread inside the program.
set(CMAKE_C_COMPILER ${UPDATER_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${UPDATER_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${UPDATER_MINGW_PREFIX}-windres)
# Resource scripts stay UTF-8: a Shift_JIS one breaks on characters whose
# second byte is 0x5C, such as 表 and ソ.
set(CMAKE_RC_FLAGS_INIT "-c 65001")

set(CMAKE_FIND_ROOT_PATH /usr/${UPDATER_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
