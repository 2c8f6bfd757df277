#pragma once

// Where the program's own files lie: the drawing template, the DWG converter, the help, the
// promotional pages, fonts and plot style tables. A portable copy keeps them beside its
// executable (on Windows always). An installed copy keeps its executables in <prefix>/bin and
// the rest in <prefix>/share/kestrelwick, a folder that is searched after the executable's own.

#include <string>
#include <vector>

namespace kw {

// The data folder of an installed program, relative to the folder of its executable.
inline constexpr const char* kInstalledDataFolder = "../share/kestrelwick";

// Left beside the program by its Windows installer, which keeps every file beside the program:
// an installed program keeps its settings in the user's folder even where it may write its own
// folder (an administrator's run in Program Files, a per-user install), so that every user has
// their own and an uninstall or an update never takes them.
inline constexpr const char* kInstalledMarker = "Kestrelwick.installed";

// The folder of the executable, then the installed data folder when that exists.
std::vector<std::string> ProgramFileFolders(const std::string& programFolder);

// The first of ProgramFileFolders that holds `name` (a file or a folder, relative, '/' between
// its parts); the program's folder, exactly as given, when none does.
std::string ProgramFileFolder(const std::string& programFolder, const std::string& name);

// `name` in ProgramFileFolder, joined with the system's separator.
std::string ProgramFilePath(const std::string& programFolder, const std::string& name);

// True when the program is installed (its data folder exists, or kInstalledMarker lies beside
// it): its folder is the system's, never a place for the user's files even where it can be
// written (root on Linux, an administrator on Windows).
bool IsInstalledProgram(const std::string& programFolder);

} // namespace kw
