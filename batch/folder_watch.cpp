#include "batch/folder_watch.h"

#include <algorithm>
#include <fstream>
#include <sstream>
#include <tuple>

#include "base/error.h"
#include "base/paths.h"
#include "batch/drawing_paths.h"
#include "batch/run_log.h"


namespace kw {
namespace {

namespace fs = std::filesystem;

bool PassedOver(const fs::path& name) {
    const std::string text = Utf8FromPath(name);
    return text.empty() || text.front() == '.' || text.front() == '~';
}

fs::path WithSuffix(const fs::path& path, const std::string& suffix) {
    return path.native() + PathFromUtf8(suffix).native();
}

// "plan.dxf", "plan (2).dxf", "plan (3).dxf", ...: the first name not taken in the folder, with
// its records' name beside it free too.
fs::path FreeName(const fs::path& folder, const fs::path& name) {
    std::error_code error;
    fs::path candidate = folder / name;
    for (int n = 2;
         fs::exists(candidate, error) || fs::exists(WithSuffix(candidate, ".jsonl"), error); ++n) {
        candidate = folder / WithSuffix(name.stem(), " (" + std::to_string(n) + ")");
        candidate += name.extension();
    }
    return candidate;
}

} // namespace

std::optional<FileState> StateOf(const std::string& path) {
    std::error_code error;
    const fs::path file = PathFromUtf8(path);
    if (!fs::is_regular_file(file, error)) {
        return std::nullopt;
    }
    FileState state;
    state.size = fs::file_size(file, error);
    if (error) {
        return std::nullopt;
    }
    state.modified = fs::last_write_time(file, error).time_since_epoch().count();
    if (error) {
        return std::nullopt;
    }
    return state;
}

FolderWatch::FolderWatch(std::string folder, bool recursive, Clock::duration settle,
                         std::function<bool(const std::string&)> canOpenAlone)
    : m_folder(std::move(folder)), m_recursive(recursive), m_settle(settle),
      m_canOpenAlone(std::move(canOpenAlone)) {}

std::vector<std::string> FolderWatch::Ready(Clock::time_point now) {
    std::vector<std::string> present;
    std::error_code error;
    const fs::path root = PathFromUtf8(m_folder);
    fs::recursive_directory_iterator it(root, fs::directory_options::skip_permission_denied, error);
    for (; !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
        const fs::path name = it->path().filename();
        std::error_code typeError;
        if (it->is_directory(typeError)) {
            const bool filingFolder = it.depth() == 0 && (name == "done" || name == "failed");
            if (!m_recursive || filingFolder || PassedOver(name)) {
                it.disable_recursion_pending();
            }
            continue;
        }
        const std::string path = Utf8FromPath(it->path());
        if (!PassedOver(name) && IsDrawingFile(path)) {
            present.push_back(path);
        }
    }

    std::map<std::string, Seen> seen;
    std::vector<std::tuple<Clock::time_point, std::string>> ready;
    for (const std::string& path : present) {
        const std::optional<FileState> state = StateOf(path);
        if (!state) {
            continue;
        }
        Seen entry{*state, now, false};
        if (const auto earlier = m_seen.find(path);
            earlier != m_seen.end() && earlier->second.state == *state) {
            entry = earlier->second;
        }
        if (!entry.offered && now - entry.since >= m_settle &&
            (!m_canOpenAlone || m_canOpenAlone(path))) {
            entry.offered = true;
            ready.emplace_back(entry.since, path);
        }
        seen.emplace(path, entry);
    }
    m_seen = std::move(seen);
    std::sort(ready.begin(), ready.end());
    std::vector<std::string> paths;
    for (auto& [since, path] : ready) {
        paths.push_back(std::move(path));
    }
    return paths;
}

bool FolderWatch::Unchanged(const std::string& path) const {
    const auto seen = m_seen.find(path);
    return seen != m_seen.end() && StateOf(path) == std::optional<FileState>(seen->second.state);
}

void FolderWatch::Forget(const std::string& path) { m_seen.erase(path); }

bool WentWrong(const std::vector<PageRecord>& records) {
    if (records.empty()) {
        return true;
    }
    return std::any_of(records.begin(), records.end(), [](const PageRecord& record) {
        return record.status != PageStatus::Plotted;
    });
}

std::string FileAway(const std::string& folder, const std::string& drawing, bool failed,
                     const std::vector<PageRecord>& records) {
    std::error_code error;
    const fs::path root = PathFromUtf8(folder);
    const fs::path source = PathFromUtf8(drawing);
    fs::path relative = source.lexically_relative(root);
    if (relative.empty() || *relative.begin() == "..") {
        relative = source.filename();
    }
    const fs::path targetFolder = root / (failed ? "failed" : "done") / relative.parent_path();
    fs::create_directories(targetFolder, error);
    const fs::path target = FreeName(targetFolder, relative.filename());
    fs::rename(source, target, error);
    if (error) {
        throw Error(errors::kPathFileAccess, "cannot move " + drawing + " to " +
                                                 Utf8FromPath(target) + ": " + error.message());
    }
    // Its records beside it: a drafter who finds it in `failed` reads why there.
    std::ofstream lines(WithSuffix(target, ".jsonl"), std::ios::binary);
    for (PageRecord record : records) {
        lines << RecordToJson(record) << '\n';
    }
    return Utf8FromPath(target);
}

void WatchJournal::Write(const std::string& path) const {
    const fs::path file = PathFromUtf8(path);
    const fs::path part = WithSuffix(file, ".part");
    {
        std::ofstream out(part, std::ios::binary | std::ios::trunc);
        out << QuoteJson(drawing) << '\n'
            << state.size << ' ' << state.modified << ' ' << logRecords << '\n';
        out.flush();
        if (!out) {
            throw Error(errors::kPathFileAccess, "cannot write " + Utf8FromPath(part));
        }
    }
    std::error_code error;
    fs::rename(part, file, error);
    if (error) {
        throw Error(errors::kPathFileAccess, "cannot write " + path + ": " + error.message());
    }
}

std::optional<WatchJournal> WatchJournal::Read(const std::string& path) {
    std::ifstream in(PathFromUtf8(path), std::ios::binary);
    std::string quoted;
    if (!in || !std::getline(in, quoted)) {
        return std::nullopt;
    }
    WatchJournal journal;
    try {
        journal.drawing = UnquoteJson(quoted);
    } catch (const Error&) {
        return std::nullopt;
    }
    if (!(in >> journal.state.size >> journal.state.modified >> journal.logRecords)) {
        return std::nullopt;
    }
    return journal;
}

} // namespace kw
