// A watched folder: a drawing is offered once it has stood still, never while it grows; names
// that are no drawings of the user's and the filing folders are passed over; plotted drawings
// are filed under free names with their records; a killed run's journal and log read back.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "batch/folder_watch.h"
#include "batch/run_log.h"
#include "tests/support/temp_folder.h"

namespace kw {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

void Append(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary | std::ios::app) << text;
}

std::vector<std::string> Names(const std::vector<std::string>& paths, const fs::path& root) {
    std::vector<std::string> names;
    for (const std::string& path : paths) {
        names.push_back(fs::path(path).lexically_relative(root).generic_string());
    }
    return names;
}

TEST(FolderWatch, OffersADrawingOnceItHasStoodStillAndOnlyThen) {
    test::TempFolder folder;
    const fs::path root = folder.Path();
    fs::create_directories(root / "sub");
    fs::create_directories(root / "done");
    fs::create_directories(root / "failed");
    for (const char* name : {"plan.dxf", "sub/deep.DWG", "done/old.dxf", "failed/bad.dxf",
                             ".hidden.dxf", "~$plan.dwg", "notes.txt", "plan.dxf.part"}) {
        Append(root / name, "0\nSECTION\n");
    }
    FolderWatch flat(root.string(), false, 2s);
    FolderWatch deep(root.string(), true, 2s);
    const auto t0 = FolderWatch::Clock::now();

    // First sight starts the clock; nothing is offered before the settle time.
    EXPECT_TRUE(flat.Ready(t0).empty());
    EXPECT_TRUE(deep.Ready(t0).empty());
    EXPECT_TRUE(deep.Ready(t0 + 1s).empty());
    // A file still being written is seen again from its new size on.
    Append(root / "plan.dxf", "2\nHEADER\n");
    EXPECT_EQ(Names(deep.Ready(t0 + 2s), root), std::vector<std::string>{"sub/deep.DWG"});
    EXPECT_EQ(Names(flat.Ready(t0 + 2s), root), std::vector<std::string>{});
    EXPECT_TRUE(deep.Ready(t0 + 3s).empty());
    EXPECT_EQ(Names(deep.Ready(t0 + 4s), root), std::vector<std::string>{"plan.dxf"});
    EXPECT_EQ(Names(flat.Ready(t0 + 4s), root), std::vector<std::string>{"plan.dxf"});
    // Offered once; a new copy over it is a new drawing.
    EXPECT_TRUE(deep.Ready(t0 + 10s).empty());
    EXPECT_TRUE(deep.Unchanged((root / "plan.dxf").string()));
    Append(root / "plan.dxf", "0\nENDSEC\n");
    EXPECT_FALSE(deep.Unchanged((root / "plan.dxf").string()));
    EXPECT_TRUE(deep.Ready(t0 + 11s).empty());
    EXPECT_EQ(Names(deep.Ready(t0 + 13s), root), std::vector<std::string>{"plan.dxf"});
    // Taken away and brought back: offered again after settling.
    fs::remove(root / "sub" / "deep.DWG");
    EXPECT_TRUE(deep.Ready(t0 + 14s).empty());
    Append(root / "sub" / "deep.DWG", "0\nSECTION\n");
    EXPECT_TRUE(deep.Ready(t0 + 15s).empty());
    EXPECT_EQ(Names(deep.Ready(t0 + 17s), root), std::vector<std::string>{"sub/deep.DWG"});
}

TEST(FolderWatch, FilesAwayUnderAFreeNameWithTheRecordsBesideIt) {
    test::TempFolder folder;
    const fs::path root = folder.Path();
    fs::create_directories(root / "sub");
    PageRecord plotted;
    plotted.drawing = (root / "sub" / "plan.dxf").string();
    plotted.page = 1;
    PageRecord failed = plotted;
    failed.page = 2;
    failed.status = PageStatus::Failed;
    PageRecord noFrames = plotted;
    noFrames.page = 0;
    noFrames.status = PageStatus::NoFrames;

    const struct {
        std::vector<PageRecord> records;
        bool wrong;
        const char* filedAs;
    } cases[] = {
        {{plotted}, false, "done/sub/plan.dxf"},
        {{plotted}, false, "done/sub/plan (2).dxf"},
        {{plotted, failed}, true, "failed/sub/plan.dxf"},
        {{noFrames}, true, "failed/sub/plan (2).dxf"},
        {{}, true, "failed/sub/plan (3).dxf"},
    };
    for (const auto& c : cases) {
        Append(root / "sub" / "plan.dxf", "drawing");
        EXPECT_EQ(WentWrong(c.records), c.wrong) << c.filedAs;
        const std::string moved =
            FileAway(root.string(), (root / "sub" / "plan.dxf").string(), c.wrong, c.records);
        EXPECT_EQ(fs::path(moved).lexically_relative(root).generic_string(), c.filedAs);
        EXPECT_FALSE(fs::exists(root / "sub" / "plan.dxf"));
        EXPECT_EQ(ReadRunLog(moved + ".jsonl"), c.records) << c.filedAs;
    }
    EXPECT_THROW(FileAway(root.string(), (root / "gone.dxf").string(), false, {}), Error);
}

TEST(FolderWatch, AKilledRunsJournalAndLogReadBack) {
    test::TempFolder folder;
    const std::string journalPath = folder.File("watch.jsonl.current");
    EXPECT_FALSE(WatchJournal::Read(journalPath));
    const WatchJournal journal{"in/计划 1.dxf", {12345, 678901234567}, 7};
    journal.Write(journalPath);
    const std::optional<WatchJournal> read = WatchJournal::Read(journalPath);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->drawing, journal.drawing);
    EXPECT_EQ(read->state, journal.state);
    EXPECT_EQ(read->logRecords, journal.logRecords);

    // A log whose last line was cut off by the kill: the whole records read, and appending
    // drops the cut record, so that the log reads as a log again.
    PageRecord record;
    record.drawing = "in/a.dxf";
    record.page = 1;
    const std::string logPath = folder.File("watch.jsonl");
    Append(logPath, RecordToJson(record) + "\n" + RecordToJson(record).substr(0, 30));
    EXPECT_EQ(ReadRunLog(logPath, RunLogLines::PassOverCut).size(), 1u);
    EXPECT_THROW(ReadRunLog(logPath), Error);
    {
        RunLogWriter log(logPath, RunLogWriter::Mode::Append);
        record.page = 2;
        log.Append(record);
    }
    const std::vector<PageRecord> records = ReadRunLog(logPath);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[1].page, 2);
}

} // namespace
} // namespace kw
