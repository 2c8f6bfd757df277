#pragma once

#include <string>
#include <vector>

namespace kw {

// The command line's arguments after the program's name, as UTF-8. On Windows they are taken
// from the wide command line, since argv holds them in the ANSI code page, which cannot hold
// every character of a path or a layer name.
std::vector<std::string> ProgramArguments(int argc, char** argv);

// Makes the console show the UTF-8 the program writes (Windows); elsewhere nothing to do.
void PrepareConsole();

} // namespace kw
