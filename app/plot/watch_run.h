#pragma once

#include <iosfwd>

#include "app/plot/drawing_plotter.h"
#include "app/plot/plot_options.h"

namespace kw {

// --watch IN: a plot server. Every drawing that comes to rest in the folder is plotted, then
// moved to IN/done or IN/failed with its records beside it; the run log (--log, else
// IN/kestrelwick-watch.jsonl) is appended to. SIGTERM or Ctrl+C finishes the drawing being
// plotted and stops; a run killed halfway carries on, at its restart, with the pages it had not
// plotted. Returns 0 once stopped, 2 when the folder is no folder or the log cannot be written.
int RunWatch(const PlotOptions& options, DrawingPlotter& plotter, std::ostream& out,
             std::ostream& err);

// The run log a watched folder keeps when no --log is given.
std::string WatchLogPath(const std::string& folder);

} // namespace kw
