# Cross build for 64-bit Windows with Debian's mingw-w64, for programs that use DLLs: Qt and
# what is built against it. The runtime (libstdc++, libgcc, winpthread) is shared too and ships
# beside the programs, so one copy of it serves Qt and the program.
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=tools/windows/mingw-w64-shared.cmake

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KW_MINGW_TRIPLE x86_64-w64-mingw32)
# The posix thread model: GCC 12's win32 model has no std::thread or std::mutex.
find_program(CMAKE_C_COMPILER NAMES ${KW_MINGW_TRIPLE}-gcc-posix REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${KW_MINGW_TRIPLE}-g++-posix REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${KW_MINGW_TRIPLE}-windres REQUIRED)

list(APPEND CMAKE_FIND_ROOT_PATH /usr/${KW_MINGW_TRIPLE} ${KW_EXTRA_FIND_ROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
