#pragma once

#include <iosfwd>
#include <string>

#include "app/plot/drawing_plotter.h"
#include "app/plot/plot_options.h"

namespace kw {

// The plot of a batch: expands the paths (or reads the log to resume), takes the shard, plots
// every drawing in turn or in worker processes, writes the run log, prints one line per file
// written and per failure, and ends with a summary. Returns the exit status: 0 when every page
// was plotted, 1 when any failed, 2 when nothing named is a drawing.
int RunBatch(const PlotOptions& options, DrawingPlotter& plotter, const std::string& program,
             std::ostream& out, std::ostream& err);

// A worker of a parallel batch: drawings from stdin, records onto stdout (WorkerPool).
int RunWorker(DrawingPlotter& plotter, bool stopOnError);

// --merge-logs: the logs joined in serial order, into --log or onto `out`.
int MergeLogs(const PlotOptions& options, std::ostream& out);

// The drawing set of the command line (expanded and sharded), with notes about it on `err`.
std::vector<std::string> DrawingsOf(const PlotOptions& options, std::ostream& err);

} // namespace kw
