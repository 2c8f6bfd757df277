#pragma once

#include <iosfwd>
#include <memory>
#include <string>

#include "app/plot/plot_options.h"
#include "cad/builtin/builtin_cad.h"
#include "output/output_run.h"

namespace kw {

// The run's output beyond the panel (paper per frame, names, merge, catalogue) when the options
// ask for any, else null. Field definitions come from --fields, else from TitleFields.ini in
// `settingsFolder` (written with the defaults when missing). Fallbacks are logged to `log`.
// Throws kw::Error for a definitions file that does not read.
std::unique_ptr<output::OutputRun> MakeOutputRun(const PlotOptions& options,
                                                 std::shared_ptr<builtin::BuiltinBackend> backend,
                                                 const std::string& settingsFolder,
                                                 const std::string& panelPaper, std::ostream& log);

} // namespace kw
