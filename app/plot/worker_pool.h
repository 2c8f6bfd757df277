#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "batch/page_record.h"

namespace kw {

// One drawing for one worker: all its pages, or only `pages` (a resumed drawing).
struct WorkerJob {
    std::string drawing;
    std::vector<int> pages;
};

// What a worker left behind.
struct WorkerResult {
    std::vector<PageRecord> records;
    std::string out; // its standard output and error, replayed by the run in serial order
    std::string err;
};

// Runs kestrelwick-plot again for each drawing, up to `size` at once, each process with its own
// built-in CAD and one drawing, so memory stays that of `size` drawings. Results are handed
// over in the jobs' order, whatever order the workers finish in. A worker that dies or leaves
// no record fails its drawing; the batch goes on.
class WorkerPool {
public:
    WorkerPool(std::string program, std::vector<std::string> arguments, int size)
        : m_program(std::move(program)), m_arguments(std::move(arguments)), m_size(size) {}

    // `stopLaunching` is asked before each start; once it says yes, the drawings not started
    // come back with no record.
    void Run(const std::vector<WorkerJob>& jobs,
             const std::function<void(std::size_t, WorkerResult)>& inOrder,
             const std::function<bool()>& stopLaunching);

private:
    std::string m_program;
    std::vector<std::string> m_arguments;
    int m_size;
};

} // namespace kw
