// The run log: what a run writes is what the next one reads, and what --resume and
// --merge-logs make of it.

#include <gtest/gtest.h>

#include <filesystem>

#include "batch/run_log.h"
#include "base/error.h"
#include "tests/support/temp_folder.h"

namespace kw {
namespace {

PageRecord Page(const std::string& drawing, int page, PageStatus status,
                const std::string& output = {}) {
    PageRecord record;
    record.drawing = drawing;
    record.page = page;
    record.status = status;
    record.outputFile = output;
    if (page > 0) {
        record.frame = FrameExtent{0.1 * page, -2, 420.5 + page, 1e-7};
    }
    return record;
}

TEST(RunLog, RecordsComeBackAsTheyWereWrittenWhateverTheirText) {
    test::TempFolder folder;
    PageRecord awkward = Page("图纸/\"A\"\\b\tc.dxf", 3, PageStatus::Failed);
    awkward.error = "操作不当或其它未知错误：-2147024893 — line\nbreak \x01 end";
    awkward.errorNumber = -2147024893;
    awkward.device = "Kestrelwick PDF";
    awkward.paper = "ISO_A3_(420.00_x_297.00_MM)";
    awkward.seconds = 0.125;
    awkward.finishedAt = "2026-12-08T12:00:00Z";
    const PageRecord whole = Page("b.dwg", 0, PageStatus::NoFrames);
    {
        RunLogWriter log(folder.File("run.jsonl"));
        log.Append(awkward);
        log.Append(whole);
    }
    const std::string text = folder.Read("run.jsonl");
    // One line per record, whatever the record's text holds.
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2);
    EXPECT_EQ(ReadRunLog(folder.File("run.jsonl")), (std::vector<PageRecord>{awkward, whole}));
    // Escapes of other writers (a jq filter, a script) read the same.
    EXPECT_EQ(RecordFromJson(R"({"drawing":"\u56fe\ud83d\ude00.dxf","page":1,"status":"plotted"})")
                  .drawing,
              "图\xF0\x9F\x98\x80.dxf");
}

TEST(RunLog, ALineThatIsNoRecordIsRefusedWithItsLineNumber) {
    for (const char* bad :
         {"", "{", "[1]", R"({"page":1,"status":"plotted"})",
          R"({"drawing":"a","page":1.5,"status":"plotted"})",
          R"({"drawing":"a","page":1,"status":"burnt"})",
          R"({"drawing":"a","page":1,"status":"plotted","frame":[1,2]})",
          R"({"drawing":"a","page":1,"status":"failed","errorNumber":-4290641770})",
          R"({"drawing":"a","page":1,"status":"failed","errorNumber":2147483648})",
          R"({"drawing":"a","page":1,"status":"failed","errorNumber":13.5})",
          R"({"drawing":"a","page":1,"status":"plotted"} x)"}) {
        try {
            RecordFromJson(bad);
            ADD_FAILURE() << bad;
        } catch (const Error& failure) {
            EXPECT_EQ(failure.Number(), 13) << bad;
        }
    }
    test::TempFolder folder;
    folder.Write("run.jsonl", RecordToJson(Page("a.dxf", 1, PageStatus::Plotted)) +
                                  "\n\n{\"drawing\":\"a.dxf\",\"page\":\n");
    try {
        ReadRunLog(folder.File("run.jsonl"));
        ADD_FAILURE();
    } catch (const Error& failure) {
        EXPECT_EQ(failure.Number(), 13);
        EXPECT_NE(failure.Description().find("line 3"), std::string::npos) << failure.Description();
    }
    EXPECT_THROW(ReadRunLog(folder.File("none.jsonl")), Error);
}

TEST(RunLog, ResumeRedoesFailedSkippedAndMissingPagesAndWholeDrawingsThatFailed) {
    test::TempFolder folder;
    folder.Write("a-001.pdf", "%PDF");
    const std::vector<PageRecord> log = {
        Page("a.dxf", 1, PageStatus::Plotted, folder.File("a-001.pdf")),
        Page("a.dxf", 2, PageStatus::Plotted, folder.File("a-002.pdf")), // deleted since
        Page("a.dxf", 3, PageStatus::Failed),
        Page("b.dxf", 0, PageStatus::Failed),
        Page("c.dxf", 0, PageStatus::NoFrames),
        Page("d.dxf", 1, PageStatus::Plotted), // a printer's page: nothing to look for
        Page("d.dxf", 2, PageStatus::Skipped),
    };
    const ResumePlan plan = PlanResume(log);
    ASSERT_EQ(plan.drawings.size(), 3u);
    EXPECT_EQ(plan.drawings[0].drawing, "a.dxf");
    EXPECT_FALSE(plan.drawings[0].wholeDrawing);
    EXPECT_EQ(plan.drawings[0].pages, (std::vector<int>{2, 3}));
    EXPECT_EQ(plan.drawings[1].drawing, "b.dxf");
    EXPECT_TRUE(plan.drawings[1].wholeDrawing);
    EXPECT_EQ(plan.drawings[2].pages, (std::vector<int>{2}));
    EXPECT_EQ(plan.kept, (std::vector<PageRecord>{log[0], log[4], log[5]}));

    const RunCounts counts = CountRecords(log);
    EXPECT_EQ(counts.drawings, 4);
    EXPECT_EQ(counts.plotted, 3);
    EXPECT_EQ(counts.failed, 2);
    EXPECT_EQ(counts.skipped, 1);
    EXPECT_EQ(counts.withoutFrames, 1);
}

TEST(RunLog, ShardLogsMergeIntoTheOrderOfOneRun) {
    test::TempFolder folder;
    const std::vector<std::vector<PageRecord>> shards = {
        {Page("/p/b.dxf", 1, PageStatus::Plotted), Page("/p/b.dxf", 2, PageStatus::Failed)},
        {Page("/p/C.dxf", 0, PageStatus::NoFrames), Page("/p/a.dxf", 1, PageStatus::Plotted)},
        {},
    };
    std::vector<std::string> paths;
    for (std::size_t i = 0; i < shards.size(); ++i) {
        paths.push_back(folder.File("shard" + std::to_string(i) + ".jsonl"));
        RunLogWriter log(paths.back());
        for (const PageRecord& record : shards[i]) {
            log.Append(record);
        }
    }
    std::vector<std::string> merged;
    for (const PageRecord& record : MergeRunLogs(paths)) {
        merged.push_back(record.drawing + "#" + std::to_string(record.page));
    }
    // Letter case does not split the drawing list's order.
    EXPECT_EQ(merged,
              (std::vector<std::string>{"/p/a.dxf#1", "/p/b.dxf#1", "/p/b.dxf#2", "/p/C.dxf#0"}));
}

} // namespace
} // namespace kw
