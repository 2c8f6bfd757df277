#pragma once

// Runs kestrelwick-plot and other tools as a user runs them from a shell.

#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>

namespace kw::test {

struct CommandResult {
    int status = -1;
    std::string out;
};

// Runs a shell command line, stdout captured; stderr into `err` when given.
inline CommandResult RunShell(const std::string& commandLine, std::string* err = nullptr) {
    // One file per process: ctest may run several of these tests at once.
    const std::filesystem::path errFile =
        std::filesystem::temp_directory_path() /
        ("kw_plot_command_stderr_" + std::to_string(getpid()) + ".txt");
    std::string command = commandLine;
    command.append(" 2>'").append(errFile.string()).append("'");
    CommandResult result;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return result;
    }
    std::array<char, 4096> buffer;
    while (const std::size_t n = fread(buffer.data(), 1, buffer.size(), pipe)) {
        result.out.append(buffer.data(), n);
    }
    const int status = pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (err != nullptr) {
        std::ifstream in(errFile);
        std::ostringstream text;
        text << in.rdbuf();
        *err = text.str();
    }
    std::filesystem::remove(errFile);
    return result;
}

// kestrelwick-plot (or a copy of it) with the arguments, each quoted by the caller.
inline CommandResult RunCommand(const std::string& arguments, std::string* err = nullptr,
                                const std::string& program = KW_PLOT_COMMAND) {
    std::string command = "'";
    command.append(program).append("' ").append(arguments);
    return RunShell(command, err);
}

// A copy of kestrelwick-plot with its template in `folder`/program. A plot rewrites the settings
// file beside the program, whose values later runs start from; a copy keeps a test's values
// away from the other tests.
inline std::string PrivatePlotCommand(const std::filesystem::path& folder) {
    namespace fs = std::filesystem;
    const fs::path original(KW_PLOT_COMMAND);
    const fs::path program = folder / "program";
    fs::create_directories(program / "TEMPLATE");
    fs::copy_file(original, program / original.filename());
    fs::copy(original.parent_path() / "TEMPLATE", program / "TEMPLATE");
    return (program / original.filename()).string();
}

inline std::string Quoted(const std::filesystem::path& path) {
    std::string quoted = "'";
    quoted.append(path.string()).append("'");
    return quoted;
}

} // namespace kw::test
