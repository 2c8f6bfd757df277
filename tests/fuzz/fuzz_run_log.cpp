// libFuzzer target of the run log as --resume and --merge-logs read it: any bytes give records or
// Error 13 naming the line, never a crash, a hang or a leak. Every record read writes back to a
// line that reads as the same record, so a resumed run keeps what it was given.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/error.h"
#include "batch/run_log.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = kw::fuzz::WriteInput("run.log.jsonl", data, size);
    std::vector<kw::PageRecord> records;
    try {
        records = kw::ReadRunLog(path);
    } catch (const kw::Error& error) {
        kw::fuzz::Require(error.Number() == kw::errors::kTypeMismatch,
                          "a damaged log fails with Error 13");
        return 0;
    }
    for (const kw::PageRecord& record : records) {
        const std::string line = kw::RecordToJson(record);
        kw::fuzz::Require(line.find('\n') == std::string::npos, "a record is one line");
        kw::fuzz::Require(kw::RecordToJson(kw::RecordFromJson(line)) == line,
                          "a record written back reads the same");
    }
    (void)kw::PlanResume(records);
    (void)kw::CountRecords(records);
    const std::vector<kw::PageRecord> merged = kw::MergeRunLogs({path, path});
    kw::fuzz::Require(merged.size() == 2 * records.size(), "merging keeps every record");
    return 0;
}
