#pragma once

#include <optional>
#include <string>
#include <vector>

#include "output/output_options.h"
#include "settings/plot_settings.h"

namespace kw {

// What one call of kestrelwick-plot asks for.
enum class PlotAction { Plot, List, Devices, Papers, Styles, Help };

struct PlotOptions {
    PlotAction action = PlotAction::Plot;
    PlotSettings settings;
    std::vector<std::string> drawings;
    std::string papersDevice;             // --papers DEVICE
    std::string outputFolder;             // --output DIR; empty = each drawing's folder
    bool progress = false;                // --progress: a bar on stderr when it is a terminal
    std::vector<std::string> fontFolders; // --fonts DIR, each one given, in order
    // --styles DIR: folders of plot style table files, searched before the program's PlotStyles.
    std::vector<std::string> styleFolders;
    // --paper auto, --scale, --name TEMPLATE, --merge, --catalogue, --columns: what the run makes
    // of its pages beyond the panel's rule.
    output::OutputOptions output;
    std::string fieldsFile; // --fields FILE: title-block field definitions
};

// Reads the command line (without the program name) over `defaults`, which hold the panel's
// starting values. Throws Error 5 with a message naming the option that is wrong.
PlotOptions ParsePlotOptions(const std::vector<std::string>& arguments,
                             const PlotSettings& defaults);

// The --help text, Chinese then English.
std::string PlotUsage();

} // namespace kw
