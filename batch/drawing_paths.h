#pragma once

#include <string>
#include <vector>

namespace kw {

// The drawings a batch covers, from what the user named on the command line.
struct DrawingSet {
    // In the run's order: sorted as the drawing list sorts, each drawing once. A path that
    // names nothing stays in, so that the run reports it as a drawing that cannot be read.
    std::vector<std::string> drawings;
    // What the user should hear about before the run: folders without drawings, patterns that
    // match nothing.
    std::vector<std::string> notes;
};

// Each argument is a drawing (.dxf, .dwg), a folder (its drawings; with `recursive` those of
// every sub-folder too), a pattern with * ? or [...] in any part of its path, or a list file
// (.txt, .lst: one drawing path per line, as the desktop program's list files hold them;
// relative lines count from the list file's folder). Error 13 for a list file that cannot be read.
DrawingSet ExpandDrawingPaths(const std::vector<std::string>& arguments, bool recursive);

// ".dxf" or ".dwg" in any letter case.
bool IsDrawingFile(const std::string& path);
bool IsListFile(const std::string& path);
bool HasWildcard(const std::string& text);
// Shell-style matching of one path part: * any run, ? one character, [abc], [a-z], [!...].
// UTF-8 text, matched character by character.
bool WildcardMatch(const std::string& pattern, const std::string& name);

// --shard K/N: the K-th of N slices of a drawing set.
struct Shard {
    int index = 1; // K, from 1
    int count = 1; // N
};
// Error 5 naming the option for anything but two whole numbers with 1 <= K <= N.
Shard ParseShard(const std::string& text);
// The drawings of one shard, in the set's order. Drawings are dealt out in turn over their paths
// sorted byte by byte, so every machine that expands the same set takes the same slice whatever
// its locale, and the slices are as even as they can be.
std::vector<std::string> TakeShard(const std::vector<std::string>& drawings, const Shard& shard);

} // namespace kw
