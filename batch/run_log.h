#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "batch/page_record.h"

namespace kw {

// The run log is JSON lines: one object per page record, in the order of a serial run, so that
// it can be read by a person, by `jq` and by the next run (--resume).
std::string RecordToJson(const PageRecord& record);
// Error 13 naming what is wrong when the line is no record.
PageRecord RecordFromJson(const std::string& line);

// A text as a JSON string, quotes included, and back (Error 13 for no JSON string).
std::string QuoteJson(const std::string& text);
std::string UnquoteJson(const std::string& quoted);

// Every record of a log file; empty lines are skipped. Error 53 when the file cannot be read,
// Error 13 with the line number for a line that is no record. With PassOverCut a log that is not
// there has no records, and a line that is no record (the last one of a run that was killed while
// writing it) is passed over.
enum class RunLogLines { AllRecords, PassOverCut };
std::vector<PageRecord> ReadRunLog(const std::string& path,
                                   RunLogLines lines = RunLogLines::AllRecords);

// Appends records to a log file, each flushed at once, so that a run killed halfway leaves a
// log that a resume can use.
class RunLogWriter {
public:
    enum class Mode { Empty, Append };
    // Creates or empties the file, or appends to it (after dropping the record a killed run
    // left unfinished); Error 75 when it cannot be written.
    explicit RunLogWriter(const std::string& path, Mode mode = Mode::Empty);
    ~RunLogWriter();
    RunLogWriter(const RunLogWriter&) = delete;
    RunLogWriter& operator=(const RunLogWriter&) = delete;

    void Append(const PageRecord& record);
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
    std::FILE* m_file = nullptr;
};

// The records of several logs (the shards of one batch) in the order one serial run would have
// written them: drawings in the drawing list's order, pages in their order within a drawing.
std::vector<PageRecord> MergeRunLogs(const std::vector<std::string>& paths);

// What --resume plots again: for each drawing of the log, the pages that failed, were skipped or
// whose output file is gone; a drawing that failed as a whole is redone as a whole.
struct ResumeDrawing {
    std::string drawing;
    bool wholeDrawing = false;
    std::vector<int> pages; // from 1; empty when wholeDrawing
};
struct ResumePlan {
    std::vector<ResumeDrawing> drawings; // in the log's order
    std::vector<PageRecord> kept;        // the records that stand as they are
};
ResumePlan PlanResume(const std::vector<PageRecord>& log);

// The one-line summary at the end of a run.
struct RunCounts {
    int drawings = 0;
    int plotted = 0;
    int failed = 0; // pages, or whole drawings, that failed
    int skipped = 0;
    int withoutFrames = 0;
};
RunCounts CountRecords(const std::vector<PageRecord>& records);

// The fonts a run has drawn with others, each named once however many drawings, pages and
// worker processes met it.
class FontSubstitutions {
public:
    // Moves the record's fonts that the run has not named yet into its note ("字体已替换：
    // gbenor.shx → …，…", after what the note says already); the record keeps no fonts.
    void MoveIntoNote(PageRecord& record);
    // "3 种字体已替换：gbenor.shx → …，…", so that the user knows what to install; "" for none.
    std::string Summary() const;
    const std::vector<std::string>& All() const { return m_all; }

private:
    std::vector<std::string> m_fonts; // the fonts named (before " → ")
    std::vector<std::string> m_all;
};

// Now, in UTC, as ISO 8601 with seconds.
std::string UtcTimestamp();

} // namespace kw
