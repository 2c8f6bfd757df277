#pragma once

#include <iosfwd>

#include "app/plot/plot_options.h"
#include "builtin/builtin_cad.h"
#include "cad/cad_session.h"
#include "cad/catalogs.h"
#include "settings/settings_file.h"

namespace kw {

// The panel's starting values for the command line: the five stored ones, the PDF device and A3.
PlotSettings DefaultsFrom(const StoredSettings& stored);

// --list: every frame of every drawing in plotting order, one line each; a drawing that cannot
// be read is reported and the others are still listed. 1 when any drawing failed. With
// --kind auto --explain, each frame line also says what the frame is, and each candidate that is
// no frame has a line with "-" for its page and why.
int ListFrames(CadSession& session, const PlotOptions& options,
               const builtin::BuiltinOptions& cadOptions, std::ostream& out, std::ostream& err);

// --devices, --papers DEVICE, --styles.
int PrintCatalog(CadSession& session, const PlotOptions& options, std::ostream& out);

// The papers of the run's device, after checking that the device exists and has the paper:
// Error 5 naming the option and where to look.
PaperTable CheckDeviceAndPaper(CadSession& session, const PlotSettings& settings);

// The folders and files the options name, checked before any work: Error 5 naming the option.
void CheckNamedFiles(const PlotOptions& options);

// --save-settings: the five values and the device's record, as the desktop program's run stores
// them.
void SaveSettings(SettingsFile& file, const PlotSettings& settings, PrinterTable printers);

} // namespace kw
