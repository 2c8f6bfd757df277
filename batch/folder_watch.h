#pragma once

// A folder that drawings are copied into, for a plot server: which of them are whole, where a
// plotted one goes, and what a run stopped halfway was doing.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "batch/page_record.h"

namespace kw {

// A drawing file as seen at one look: what tells a file still being written from a whole one.
struct FileState {
    std::uintmax_t size = 0;
    std::int64_t modified = 0; // the file system's time stamp, in its own ticks
    bool operator==(const FileState&) const = default;
};

// Where a file stands now; nothing when it is gone or no regular file.
std::optional<FileState> StateOf(const std::string& path);

// The drawings (.dxf, .dwg) that arrive in a folder. A drawing is ready once its size and time
// have stood still for the settle time and it can be opened alone (on Windows a file being copied
// is held open by the copier): a file still being copied in is never offered. Hidden and
// temporary names ("." or "~" first) and the folders `done` and `failed` at the top are passed
// over.
class FolderWatch {
public:
    using Clock = std::chrono::steady_clock;

    // `canOpenAlone` says whether no other program holds the file open (on Windows a copier
    // does); none: only the settle time decides.
    FolderWatch(std::string folder, bool recursive, Clock::duration settle,
                std::function<bool(const std::string&)> canOpenAlone = nullptr);

    // Looks at the folder at `now`: the drawings that have become ready, in the order they came
    // to rest, then by path. A drawing is offered once; it is offered again only when it changes
    // (a new drawing copied over it) or after Forget.
    std::vector<std::string> Ready(Clock::time_point now);

    // Whether the drawing is still as it was when offered: not changed since, nor taken away.
    bool Unchanged(const std::string& path) const;

    // Offers the drawing again once it is ready (it changed after it was offered).
    void Forget(const std::string& path);

    const std::string& Folder() const { return m_folder; }

private:
    struct Seen {
        FileState state;
        Clock::time_point since; // when it was first seen in this state
        bool offered = false;
    };
    std::string m_folder;
    bool m_recursive;
    Clock::duration m_settle;
    std::function<bool(const std::string&)> m_canOpenAlone;
    std::map<std::string, Seen> m_seen;
};

// Moves a plotted drawing into `done` (or `failed`) under the watched folder, keeping its
// sub-folder, under a free name ("plan (2).dxf" when "plan.dxf" is there from an earlier copy),
// with its records beside it as "<name>.jsonl". Returns the new path. Error 75 when it cannot be
// moved.
std::string FileAway(const std::string& folder, const std::string& drawing, bool failed,
                     const std::vector<PageRecord>& records);

// Whether a drawing's records send it to `failed`: a page or the drawing failed or was skipped,
// or no frame was found (nothing came of it).
bool WentWrong(const std::vector<PageRecord>& records);

// What the watch is plotting, kept in a file beside the run log while it plots, so that a run
// killed halfway carries on with the pages it had not plotted, and no page is plotted twice.
struct WatchJournal {
    std::string drawing;
    FileState state;
    std::size_t logRecords = 0; // records in the run log before the drawing's first

    // Written whole or not at all (a temporary file renamed over the old one).
    void Write(const std::string& path) const;
    // Nothing when there is no journal or it does not read.
    static std::optional<WatchJournal> Read(const std::string& path);
};


} // namespace kw
