#pragma once

#include <optional>
#include <string>
#include <vector>

#include "batch/drawing_paths.h"
#include "batch/reading_order.h"
#include "builtin/plot_devices.h"
#include "output/output_options.h"
#include "settings/plot_settings.h"

namespace kw {

// What one call of kestrelwick-plot asks for.
enum class PlotAction { Plot, List, Devices, Papers, Styles, Help, Version, MergeLogs };

// How the progress of a batch is shown.
enum class ProgressDisplay {
    Automatic, // a bar when stderr is a terminal, nothing otherwise
    Always,    // --progress: the bar on a terminal, plain lines otherwise
    Never,     // --no-progress
};

struct PlotOptions {
    PlotAction action = PlotAction::Plot;
    PlotSettings settings;
    std::vector<std::string> drawings;    // drawings, folders, patterns, list files; or logs
    std::string papersDevice;             // --papers DEVICE
    std::string outputFolder;             // --output DIR; empty = each drawing's folder
    // --format pdf|png|tiff|svg, --dpi N, --monochrome: what each page is written as.
    PageFormat pageFormat;
    std::vector<std::string> fontFolders; // --fonts DIR, each one given, in order
    // --styles DIR: folders of plot style table files, searched before the program's PlotStyles.
    std::vector<std::string> styleFolders;

    // Batches.
    bool autoFrames = false;    // --kind auto: frames found without configuration
    OrderChoice order;          // --order, --bottom-up, --right-to-left
    bool recursive = false;     // --recursive
    bool explain = false;       // --explain (with --list)
    std::string logPath;        // --log FILE; empty = a new file named by the time
    std::string resumeLog;      // --resume LOG
    bool stopOnError = false;   // --stop-on-error
    bool recover = false;       // --recover: plot what an incomplete drawing holds
    bool saveSettings = false;  // --save-settings
    std::string settingsPath;   // --settings FILE; empty = the usual place
    int jobs = 0;               // -j N; 0 = one per core
    std::optional<Shard> shard; // --shard K/N
    ProgressDisplay progress = ProgressDisplay::Automatic;
    // --watch IN: plot every drawing that comes to rest in the folder, until stopped.
    std::string watchFolder;
    double settleSeconds = 2.0; // --settle S: how long a drawing's size must stand still
    // --worker: a worker of a parallel run, taking drawings on stdin and answering on stdout.
    bool worker = false;
    // The options that decide how a page is plotted, as given, for the workers' command line.
    std::vector<std::string> workerArguments;

    // --paper auto, --scale, --name TEMPLATE, --merge, --catalogue, --columns: what the run makes
    // of its pages beyond the panel's rule.
    output::OutputOptions output;
    std::string fieldsFile; // --fields FILE: title-block field definitions
};

// Reads the command line (without the program name) over `defaults`, which hold the panel's
// starting values. Every value is checked here, before any work: throws Error 5 with a message
// naming the option that is wrong and what it takes.
PlotOptions ParsePlotOptions(const std::vector<std::string>& arguments,
                             const PlotSettings& defaults);

// The value of `--settings FILE` among the arguments, empty when not given; read before the
// defaults are known.
std::string SettingsPathArgument(const std::vector<std::string>& arguments);

// The --help text in the user's language: Chinese when the locale (LC_ALL, LC_MESSAGES, LANG)
// says zh, English otherwise.
std::string PlotUsage();
std::string PlotUsage(bool chinese);
bool UserPrefersChinese();

} // namespace kw
