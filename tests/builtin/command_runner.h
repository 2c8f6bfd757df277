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

// kestrelwick-plot with the arguments, each quoted by the caller. A run stores its values in the
// settings file, which later runs start from: each test names a settings folder of its own.
inline CommandResult RunCommand(const std::string& arguments, std::string* err,
                                const std::string& settingsFolder,
                                const std::string& environment = "") {
    std::string command = environment.empty() ? "" : environment + " ";
    // The run logs a run writes by default go to the test's folder too.
    command.append("XDG_STATE_HOME='").append(settingsFolder).append("' ");
    command.append("KESTRELWICK_SETTINGS_DIR='");
    command.append(settingsFolder).append("' '").append(KW_PLOT_COMMAND).append("' ");
    command.append(arguments);
    return RunShell(command, err);
}

inline std::string Quoted(const std::filesystem::path& path) {
    std::string quoted = "'";
    quoted.append(path.string()).append("'");
    return quoted;
}

} // namespace kw::test
