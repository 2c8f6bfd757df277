#pragma once

#include <cstddef>
#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include "batch/page_record.h"

namespace kw {

// One drawing for a worker: all its pages, or only `pages` (a resumed drawing).
struct WorkerJob {
    std::string drawing;
    std::vector<int> pages;
};

// What a worker made of one drawing.
struct WorkerResult {
    std::vector<PageRecord> records;
    std::string err; // what it said on stderr meanwhile, replayed by the run in serial order
};

// Runs up to `size` workers — kestrelwick-plot started again with --worker, each with its own
// built-in CAD — and hands each the next drawing as soon as it is done with one, so memory stays
// that of `size` drawings while the cost of starting a worker is paid once. Results are handed
// over in the jobs' order, whatever order the workers finish in. A worker that dies fails the
// drawing it had (keeping the pages it reported) and a new one takes the next; the batch goes on.
class WorkerPool {
public:
    WorkerPool(std::string program, std::vector<std::string> arguments, int size)
        : m_program(std::move(program)), m_arguments(std::move(arguments)), m_size(size) {}

    // `stopLaunching` is asked before each drawing is handed out; once it says yes, the
    // drawings not handed out come back with no record.
    void Run(const std::vector<WorkerJob>& jobs,
             const std::function<void(std::size_t, WorkerResult)>& inOrder,
             const std::function<bool()>& stopLaunching);

private:
    std::string m_program;
    std::vector<std::string> m_arguments;
    int m_size;
};

// The worker's side: reads one job per line from `in` ("PAGES<TAB>DRAWING", PAGES "*" or
// "2,5", DRAWING a JSON string), plots it with `plot` and answers on `out` with its records, one
// JSON line each, what it said on stderr (`#err` and a JSON string) and `#done`. Returns at the end
// of `in`.
int ServeWorker(std::istream& in, std::ostream& out,
                const std::function<void(const WorkerJob&,
                                         const std::function<void(const PageRecord&)>&)>& plot);

} // namespace kw
