#pragma once
// What the libFuzzer targets share: a private folder for inputs that the code under test reads
// from files, and the check that stops a run on a broken promise.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace kw::fuzz {

// A folder of this process under the system's temporary folder, emptied when first asked for.
inline const std::filesystem::path& WorkFolder() {
    static const std::filesystem::path folder = [] {
        std::filesystem::path path = std::filesystem::temp_directory_path() /
                                     ("kw_fuzz_" + std::to_string(static_cast<long>(getpid())));
        std::filesystem::remove_all(path);
        std::filesystem::create_directories(path);
        return path;
    }();
    return folder;
}

// Writes the input to `name` in the work folder and gives its path.
inline std::string WriteInput(const std::string& name, const std::uint8_t* data, std::size_t size) {
    const std::filesystem::path path = WorkFolder() / name;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    out.close();
    return path.string();
}

// Stops the run with the reason when a promise of the code under test is broken; libFuzzer keeps
// the input that did it.
inline void Require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "broken promise: %s\n", what);
        std::abort();
    }
}

} // namespace kw::fuzz
