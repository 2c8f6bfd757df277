# Cross build for 64-bit Windows with Debian's mingw-w64 and a static runtime.
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
# Test programs run under Wine through the cross-compiling emulator; set WINEPREFIX beforehand.

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KW_MINGW_TRIPLE x86_64-w64-mingw32)
# The posix thread model: GCC 12's win32 model has no std::mutex, which GoogleTest needs. The
# winpthread library is linked statically like the rest of the runtime.
find_program(CMAKE_C_COMPILER NAMES ${KW_MINGW_TRIPLE}-gcc-posix REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${KW_MINGW_TRIPLE}-g++-posix REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${KW_MINGW_TRIPLE}-windres REQUIRED)

# Our own prefixes (for instance a GoogleTest cross-built into the build tree) come first.
list(APPEND CMAKE_FIND_ROOT_PATH /usr/${KW_MINGW_TRIPLE} ${KW_EXTRA_FIND_ROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# No libgcc, libstdc++ or winpthread DLLs to ship beside the programs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

find_program(KW_WINE NAMES wine wine64)
if(KW_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${KW_WINE})
endif()
# Look the tests up when ctest runs them, not at build time: the Wine prefix may not exist yet.
set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)
