# Cross build for 64-bit Windows with Debian's mingw-w64 and a static runtime, for the Qt-free
# libraries and their tests (tools/test-windows.sh):
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
# Test programs run under Wine through the cross-compiling emulator; set WINEPREFIX beforehand.
# The compilers and search paths are those of the release build's toolchain.
include(${CMAKE_CURRENT_LIST_DIR}/../tools/windows/mingw-w64-shared.cmake)

# No libgcc, libstdc++ or winpthread DLLs to ship beside the test programs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

find_program(KW_WINE NAMES wine wine64)
if(KW_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${KW_WINE})
endif()
# Look the tests up when ctest runs them, not at build time: the Wine prefix may not exist yet.
set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)
