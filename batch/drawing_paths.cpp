#include "batch/drawing_paths.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <set>
#include <system_error>

#include "base/characters.h"
#include "base/error.h"
#include "settings/list_file.h"
#include "base/text_file.h"

namespace kw {
namespace {

namespace fs = std::filesystem;

fs::path PathOf(const std::string& text) {
    return fs::path(std::u8string(text.begin(), text.end()));
}

std::string TextOf(const fs::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

std::string LowerExtension(const std::string& path) {
    return AsciiLower(TextOf(PathOf(path).extension()));
}

// UTF-8 as code points, so that ? and [...] take a whole character; a byte that is no UTF-8
// stands for itself, apart from every character.
std::u32string CodePoints(const std::string& text) {
    std::u32string points;
    for (std::size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        const int length = byte < 0x80         ? 1
                           : (byte >> 5) == 6  ? 2
                           : (byte >> 4) == 14 ? 3
                           : (byte >> 3) == 30 ? 4
                                               : 0;
        bool valid = length > 0 && i + static_cast<std::size_t>(length) <= text.size();
        char32_t point = length == 1 ? byte : byte & (0x7F >> length);
        for (int k = 1; valid && k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]);
            valid = (next & 0xC0) == 0x80;
            point = (point << 6) | (next & 0x3F);
        }
        if (!valid) {
            points.push_back(0x110000 + byte);
            ++i;
            continue;
        }
        points.push_back(point);
        i += static_cast<std::size_t>(length);
    }
    return points;
}

bool IsFolder(const fs::path& path) {
    std::error_code error;
    return fs::is_directory(path, error);
}

bool IsRegularFile(const fs::path& path) {
    std::error_code error;
    return fs::is_regular_file(path, error);
}

// Folder + name, keeping the folder as the user wrote it.
std::string Joined(const std::string& folder, const std::string& name) {
    if (folder.empty()) {
        return name;
    }
    const char last = folder.back();
    if (last == '/'
#ifdef _WIN32
        || last == '\\'
#endif
    ) {
        return folder + name;
    }
#ifdef _WIN32
    // The separator the folder is written with, so that one path does not mix both.
    if (folder.find('\\') != std::string::npos) {
        return folder + "\\" + name;
    }
#endif
    return folder + "/" + name;
}

// The drawings in a folder, by name; sub-folders too when recursive. Folders that cannot be
// read are passed over: a batch is not stopped by a folder it may not look into.
void AddFolder(const std::string& folder, bool recursive, std::vector<std::string>& out) {
    std::error_code error;
    std::vector<std::pair<std::string, bool>> entries; // name, is folder
    for (fs::directory_iterator it(PathOf(folder), error), end; !error && it != end;
         it.increment(error)) {
        std::error_code typeError;
        const bool folderEntry = it->is_directory(typeError);
        entries.emplace_back(TextOf(it->path().filename()), folderEntry);
    }
    std::sort(entries.begin(), entries.end());
    for (const auto& [name, folderEntry] : entries) {
        const std::string path = Joined(folder, name);
        if (folderEntry) {
            if (recursive) {
                AddFolder(path, true, out);
            }
        } else if (IsDrawingFile(name)) {
            out.push_back(path);
        }
    }
}

std::vector<std::string> SplitParts(const std::string& path) {
    std::vector<std::string> parts;
    std::string part;
    for (const char c : path) {
        if (c == '/'
#ifdef _WIN32
            || c == '\\'
#endif
        ) {
            parts.push_back(part);
            part.clear();
        } else {
            part += c;
        }
    }
    parts.push_back(part);
    return parts;
}

// Every existing path that the pattern matches, sorted part by part.
std::vector<std::string> Glob(const std::string& pattern) {
    const std::vector<std::string> parts = SplitParts(pattern);
    // An absolute pattern starts with an empty part: the root. A relative one starts from the
    // current folder, written as nothing so that matches keep the user's relative form.
    std::vector<std::string> matches{""};
    std::size_t first = 0;
    if (parts.front().empty()) {
        matches = {"/"};
        first = 1;
    }
#ifdef _WIN32
    // "C:" before the first separator names a drive: the pattern starts at its root. (Asking
    // whether "C:" itself exists asks about the drive's current folder, and not every system
    // answers that.)
    if (parts.size() > 1 && parts.front().size() == 2 && parts.front()[1] == ':') {
        matches = {pattern.substr(0, 3)}; // with the separator the user wrote
        first = 1;
    }
#endif
    for (std::size_t i = first; i < parts.size(); ++i) {
        const std::string& part = parts[i];
        std::vector<std::string> next;
        for (const std::string& prefix : matches) {
            if (part.empty()) {
                next.push_back(prefix); // a doubled or trailing separator
                continue;
            }
            if (!HasWildcard(part)) {
                const std::string path = Joined(prefix, part);
                std::error_code error;
                if (fs::exists(PathOf(path), error)) {
                    next.push_back(path);
                }
                continue;
            }
            std::vector<std::string> names;
            std::error_code error;
            for (fs::directory_iterator it(PathOf(prefix.empty() ? "." : prefix), error), end;
                 !error && it != end; it.increment(error)) {
                const std::string name = TextOf(it->path().filename());
                // Hidden entries only when asked for, as a shell does.
                if (name[0] == '.' && part[0] != '.') {
                    continue;
                }
                if (WildcardMatch(part, name)) {
                    names.push_back(name);
                }
            }
            std::sort(names.begin(), names.end());
            for (const std::string& name : names) {
                next.push_back(Joined(prefix, name));
            }
        }
        matches = std::move(next);
    }
    return matches;
}

void AddArgument(const std::string& argument, bool recursive, bool listFilesToo,
                 std::vector<std::string>& out, std::vector<std::string>& notes) {
    if (HasWildcard(argument) && !IsRegularFile(PathOf(argument))) {
        const std::vector<std::string> matches = Glob(argument);
        std::size_t before = out.size();
        for (const std::string& match : matches) {
            if (IsFolder(PathOf(match))) {
                AddFolder(match, recursive, out);
            } else if (IsDrawingFile(match)) {
                out.push_back(match);
            }
        }
        if (out.size() == before) {
            notes.push_back(argument + ": no drawing matches the pattern");
            out.push_back(argument); // reported as not found, not dropped without a word
        }
        return;
    }
    const fs::path path = PathOf(argument);
    if (IsFolder(path)) {
        const std::size_t before = out.size();
        AddFolder(argument, recursive, out);
        if (out.size() == before) {
            notes.push_back(argument + (recursive ? ": no drawing in this folder or below it"
                                                  : ": no drawing in this folder (--recursive "
                                                    "also searches its sub-folders)"));
        }
        return;
    }
    if (listFilesToo && IsListFile(argument) && IsRegularFile(path)) {
        const fs::path folder = path.parent_path();
        for (const std::string& line : ReadListFile(argument)) {
            const std::string entry = TrimBlanks(line);
            if (entry.empty()) {
                continue;
            }
            const fs::path entryPath = PathOf(entry);
            const std::string resolved =
                entryPath.is_relative() && !folder.empty() ? TextOf(folder / entryPath) : entry;
            AddArgument(resolved, recursive, false, out, notes);
        }
        return;
    }
    out.push_back(argument);
}

} // namespace

bool IsDrawingFile(const std::string& path) {
    const std::string extension = LowerExtension(path);
    return extension == ".dxf" || extension == ".dwg";
}

bool IsListFile(const std::string& path) {
    const std::string extension = LowerExtension(path);
    return extension == ".txt" || extension == ".lst";
}

bool HasWildcard(const std::string& text) {
    return text.find_first_of("*?[") != std::string::npos;
}

bool WildcardMatch(const std::string& patternText, const std::string& nameText) {
    const std::u32string pattern = CodePoints(patternText);
    const std::u32string name = CodePoints(nameText);
    std::size_t p = 0;
    std::size_t n = 0;
    std::size_t starP = std::u32string::npos;
    std::size_t starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
            continue;
        }
        if (p < pattern.size() && pattern[p] == '[') {
            std::size_t q = p + 1;
            const bool negated = q < pattern.size() && (pattern[q] == '!' || pattern[q] == '^');
            if (negated) {
                ++q;
            }
            bool matched = false;
            const std::size_t start = q;
            while (q < pattern.size() && (pattern[q] != ']' || q == start)) {
                if (q + 2 < pattern.size() && pattern[q + 1] == '-' && pattern[q + 2] != ']') {
                    matched |= pattern[q] <= name[n] && name[n] <= pattern[q + 2];
                    q += 3;
                } else {
                    matched |= pattern[q] == name[n];
                    ++q;
                }
            }
            if (q < pattern.size() && matched != negated) {
                p = q + 1;
                ++n;
                continue;
            }
            if (q >= pattern.size() && pattern[p] == name[n]) {
                // An unclosed bracket is an ordinary character.
                ++p;
                ++n;
                continue;
            }
        } else if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == name[n])) {
            ++p;
            ++n;
            continue;
        }
        if (starP == std::u32string::npos) {
            return false;
        }
        p = starP + 1;
        n = ++starN;
    }
    while (p < pattern.size() && pattern[p] == '*') {
        ++p;
    }
    return p == pattern.size();
}

DrawingSet ExpandDrawingPaths(const std::vector<std::string>& arguments, bool recursive) {
    DrawingSet set;
    std::vector<std::string> found;
    for (const std::string& argument : arguments) {
        AddArgument(argument, recursive, true, found, set.notes);
    }
    // The same drawing reached twice (a folder and a pattern over it) is plotted once.
    std::set<std::string> seen;
    for (const std::string& path : found) {
        std::error_code error;
        fs::path key = fs::absolute(PathOf(path), error).lexically_normal();
        if (seen.insert(TextOf(key)).second) {
            set.drawings.push_back(path);
        }
    }
    const TextCollator collator;
    std::stable_sort(
        set.drawings.begin(), set.drawings.end(),
        [&collator](const std::string& a, const std::string& b) { return collator.Less(a, b); });
    return set;
}

Shard ParseShard(const std::string& text) {
    Shard shard;
    const auto slash = text.find('/');
    const auto whole = [](const std::string& part, int& value) {
        const auto result = std::from_chars(part.data(), part.data() + part.size(), value);
        return !part.empty() && result.ec == std::errc() && result.ptr == part.data() + part.size();
    };
    if (slash == std::string::npos || !whole(text.substr(0, slash), shard.index) ||
        !whole(text.substr(slash + 1), shard.count) || shard.count < 1 || shard.index < 1 ||
        shard.index > shard.count) {
        throw Error(errors::kInvalidCall,
                    "--shard: expected K/N with 1 <= K <= N (e.g. 2/8), got \"" + text + "\"");
    }
    return shard;
}

std::vector<std::string> TakeShard(const std::vector<std::string>& drawings, const Shard& shard) {
    std::vector<std::string> sorted = drawings;
    std::sort(sorted.begin(), sorted.end());
    std::set<std::string> mine;
    for (std::size_t i = static_cast<std::size_t>(shard.index - 1); i < sorted.size();
         i += static_cast<std::size_t>(shard.count)) {
        mine.insert(sorted[i]);
    }
    std::vector<std::string> slice;
    for (const std::string& drawing : drawings) {
        if (mine.count(drawing) != 0) {
            slice.push_back(drawing);
        }
    }
    return slice;
}

} // namespace kw
