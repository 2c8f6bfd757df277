#pragma once

#include <iosfwd>
#include <memory>
#include <string>

#include "app/plot/plot_options.h"
#include "builtin/builtin_cad.h"
#include "output/output_run.h"

namespace kw {

// The run's output beyond the panel (paper per frame, names, merge, catalogue) when the options
// ask for any, else null. Field definitions come from --fields, else from TitleFields.ini in
// the folder of the settings file at `settingsPath` (written with the defaults when missing).
// Fallbacks are logged to `log`. Throws kw::Error for a definitions file that does not read.
std::unique_ptr<output::OutputRun> MakeOutputRun(const PlotOptions& options,
                                                 std::shared_ptr<builtin::BuiltinBackend> backend,
                                                 const std::string& settingsPath,
                                                 const std::string& panelPaper, std::ostream& log);

// Writes the merged PDFs and the catalogue once the batch is done (the pages that were plotted,
// whatever `status` says), one line each: "PATH<TAB>PAGES" for a merged PDF, "图纸目录 PATH"
// for a catalogue. Returns the run's status, 1 when a file could not be written.
int FinishOutput(output::OutputRun* run, int status, std::ostream& out, std::ostream& err);

} // namespace kw
