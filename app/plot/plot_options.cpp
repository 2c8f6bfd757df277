#include "app/plot/plot_options.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <system_error>

#include "base/error.h"
#include "builtin/plot_devices.h"
#include "engine/layout_pages.h"
#include "output/catalogue.h"
#include "output/file_names.h"
#include "sheets/sheets.h"

namespace kw {
namespace {

[[noreturn]] void Fail(const std::string& text) {
    throw Error(errors::kInvalidCall, text);
}

FrameKind ParseKind(const std::string& text) {
    if (text == "polyline") {
        return FrameKind::PolylineLayer;
    }
    if (text == "block") {
        return FrameKind::BlockReference;
    }
    if (text == "xref") {
        return FrameKind::ExternalReference;
    }
    Fail("--kind: expected polyline, block, xref or auto, got \"" + text + "\"");
}

// A number box as a run reads it (LeadingNumber), refused here when the run could not use it.
double CheckedNumber(const std::string& option, const std::string& text, double minimum,
                     bool minimumAllowed, const std::string& what) {
    double value = 0.0;
    bool readable = text.find_first_of("0123456789") != std::string::npos;
    if (readable) {
        try {
            value = LeadingNumber(text);
        } catch (const Error&) {
            readable = false;
        }
    }
    if (!readable || value < minimum || (!minimumAllowed && value == minimum)) {
        Fail(option + ": " + what + ", got \"" + text + "\"");
    }
    return value;
}

// The plot values, wherever they came from (the command line or the stored settings), checked
// before the first drawing is opened: a run that cannot use them would otherwise fail on every
// page with a bare error number.
void CheckPlotValues(const PlotSettings& s) {
    CheckedNumber("--length", s.frameLength, 0.0, false,
                  "the frame's length on paper must be a number of millimetres above 0");
    CheckedNumber("--allowance", s.pointAllowance, -1e6, true,
                  "the allowance must be a number of millimetres");
    if (!s.centerPlot) {
        CheckedNumber("--offset", s.offsetX, -1e6, true, "the X offset must be a number");
        CheckedNumber("--offset", s.offsetY, -1e6, true, "the Y offset must be a number");
    }
    std::int16_t copies = 0;
    try {
        copies = CopiesFromText(s.copies);
    } catch (const Error&) {
    }
    if (copies < 1) {
        Fail("--copies: expected a whole number from 1 to 32767, got \"" + s.copies + "\"");
    }
}

int WholeNumber(const std::string& option, const std::string& text, int minimum, int maximum) {
    int value = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || result.ec != std::errc() || result.ptr != text.data() + text.size() ||
        value < minimum || value > maximum) {
        Fail(option + ": expected a whole number from " + std::to_string(minimum) + " to " +
             std::to_string(maximum) + ", got \"" + text + "\"");
    }
    return value;
}

bool IsFolder(const std::string& path) {
    std::error_code error;
    return std::filesystem::is_directory(
        std::filesystem::path(std::u8string(path.begin(), path.end())), error);
}

// --watch: the drawings come from the folder as they arrive, one at a time, for as long as the
// run lasts; what needs a list of drawings or an end of the run does not go with it.
void CheckWatch(const PlotOptions& options) {
    if (options.action != PlotAction::Plot) {
        Fail("--watch plots: give it without --list, --merge-logs and the catalog options");
    }
    if (!options.drawings.empty() || !options.resumeLog.empty() || options.shard ||
        options.worker) {
        Fail("--watch: the drawings come from the watched folder; give no drawings, --resume, "
             "--shard or --worker with it");
    }
    if (options.outputFolder.empty()) {
        Fail("--watch: give --output DIR: the pages of a watched folder go to a folder of their "
             "own");
    }
    if (options.output.merge != output::MergeMode::None || options.output.catalogueCsv ||
        options.output.catalogueXlsx || options.output.cataloguePdf) {
        Fail("--watch: --merge and --catalogue are written at the end of a run, and a watched "
             "folder's run has no end; give them to a batch run over IN/done");
    }
    if (options.jobs > 1) {
        Fail("--watch plots one drawing at a time: give it without -j");
    }
}

// Options that only the run that hands out the drawings takes; the others reach the workers.
// --save-settings reaches them so that they store the plot settings in their drawings (a worker
// never writes the settings file), --stop-on-error so that they stop within a drawing too.
const std::set<std::string> kParentOnly = {
    "--log",        "--resume", "-j",          "--jobs",    "--shard",     "--worker",
    "--pages",      "--papers", "--list",      "--explain", "--progress",  "--no-progress",
    "--help",       "-h",       "--version",   "--devices", "--recursive", "-r",
    "--merge-logs", "--merge",  "--catalogue", "--columns", "--watch",   "--settle"};

// --split writes drawings, not pages: what only pages take is refused. A printer stored as the
// panel's device gives way to the PDF device, which names the drawings as it names pages.
void CheckSplit(PlotOptions& options, bool deviceGiven, bool pictures) {
    const std::string refused = "--split writes each frame as a drawing of its own, not a page: ";
    if (options.action != PlotAction::Plot) {
        Fail(refused + "give it without --list and the catalog options");
    }
    if (deviceGiven && options.settings.printerName != builtin::kPdfDevice) {
        Fail(refused + "there is nothing to print; give no --device");
    }
    if (options.output.merge != output::MergeMode::None) {
        Fail(refused + "there are no PDF pages to merge; give no --merge");
    }
    if (pictures) {
        Fail(refused + "--format, --dpi and --monochrome make pictures and drawings of pages");
    }
    if (options.saveSettings) {
        Fail(refused + "the drawing itself is never written, so --save-settings stores nothing");
    }
    options.settings.printerName = builtin::kPdfDevice;
}

} // namespace

std::string SettingsPathArgument(const std::vector<std::string>& arguments) {
    std::string path;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        if (arguments[i] == "--") {
            break;
        }
        if (arguments[i] == "--settings" && i + 1 < arguments.size()) {
            path = arguments[++i];
        } else if (arguments[i].rfind("--settings=", 0) == 0) {
            path = arguments[i].substr(11);
        }
    }
    return path;
}

PlotOptions ParsePlotOptions(const std::vector<std::string>& arguments,
                             const PlotSettings& defaults) {
    PlotOptions options;
    options.settings = defaults;
    options.settings.mode = PlotMode::SelectedFiles;
    PlotSettings& s = options.settings;
    std::optional<std::string> name; // --name applies to whichever kind is chosen
    bool fallbackGiven = false;
    bool deviceGiven = false;
    std::string format = "pdf";
    std::optional<int> dpi;
    bool monochrome = false;

    const auto setKind = [&](const std::string& v) {
        options.autoFrames = v == "auto";
        if (!options.autoFrames) {
            s.frameKind = ParseKind(v);
        }
    };
    using Setter = std::function<void(const std::string&)>;
    const std::map<std::string, Setter> withValue = {
        {"--kind", [&](const std::string& v) { setKind(v); }},
        {"--frame-kind", [&](const std::string& v) { setKind(v); }},
        {"--layer", [&](const std::string& v) { s.frameLayer = v; }},
        {"--block", [&](const std::string& v) { s.blockName = v; }},
        {"--xref", [&](const std::string& v) { s.xrefName = v; }},
        {"--name",
         [&](const std::string& v) {
             // A name with a field in braces is a file name template; frames are named with
             // --layer, --block and --xref as well, so no frame name is lost to this.
             if (v.find('{') != std::string::npos) {
                 options.output.nameTemplate = v;
             } else {
                 name = v;
             }
         }},
        {"--scale", [&](const std::string& v) { options.output.scale = v; }},
        {"--merge",
         [&](const std::string& v) {
             try {
                 options.output.merge = output::ParseMerge(v);
             } catch (const Error& failure) {
                 Fail("--merge: " + failure.Description());
             }
         }},
        {"--catalogue",
         [&](const std::string& v) {
             for (const std::string& format : output::ParseColumns(v)) {
                 if (format == "csv") {
                     options.output.catalogueCsv = true;
                 } else if (format == "xlsx") {
                     options.output.catalogueXlsx = true;
                 } else if (format == "pdf") {
                     options.output.cataloguePdf = true;
                 } else {
                     Fail("--catalogue: expected csv, xlsx, pdf or a list of them, got \"" + v +
                          "\"");
                 }
             }
         }},
        {"--columns", [&](const std::string& v) { options.output.columns = v; }},
        {"--stamp",
         [&](const std::string& v) {
             try {
                 output::FillTemplate(v, {});
             } catch (const Error& failure) {
                 Fail("--stamp: " + failure.Description());
             }
             options.output.stamp = v;
         }},
        {"--stamp-corner",
         [&](const std::string& v) {
             try {
                 options.output.stampCorner = output::ParseStampCorner(v);
             } catch (const Error& failure) {
                 Fail("--stamp-corner: " + failure.Description());
             }
         }},
        {"--layouts",
         [&](const std::string& v) {
             try {
                 ParseLayoutChoice(v);
             } catch (const Error& failure) {
                 Fail("--layouts: " + failure.Description());
             }
             options.output.layouts = v;
         }},
        {"--fields", [&](const std::string& v) { options.fieldsFile = v; }},
        {"--device",
         [&](const std::string& v) {
             s.printerName = v;
             deviceGiven = true;
         }},
        {"--paper",
         [&](const std::string& v) {
             if (v == "auto") {
                 options.output.paper = output::PaperMode::Auto;
             } else if (v == "frame") {
                 options.output.paper = output::PaperMode::Frame;
             } else {
                 s.paperName = v;
             }
         }},
        {"--fallback",
         [&](const std::string& v) {
             if (v != "frame" && v != "length") {
                 Fail("--fallback: expected frame or length, got \"" + v + "\"");
             }
             options.output.fallback =
                 v == "frame" ? output::Fallback::Frame : output::Fallback::Length;
             fallbackGiven = true;
         }},
        {"--format",
         [&](const std::string& v) {
             if (v != "pdf" && v != "png" && v != "tiff" && v != "tif" && v != "svg") {
                 Fail("--format: expected pdf, png, tiff or svg, got \"" + v + "\"");
             }
             format = v == "tif" ? "tiff" : v;
         }},
        {"--dpi", [&](const std::string& v) { dpi = WholeNumber("--dpi", v, 10, 2400); }},
        {"--style", [&](const std::string& v) { s.styleTable = v; }},
        {"--length", [&](const std::string& v) { s.frameLength = v; }},
        {"--allowance", [&](const std::string& v) { s.pointAllowance = v; }},
        {"--copies", [&](const std::string& v) { s.copies = v; }},
        {"--output", [&](const std::string& v) { options.outputFolder = v; }},
        {"--order", [&](const std::string& v) { options.order.order = ParseReadingOrder(v); }},
        {"--log", [&](const std::string& v) { options.logPath = v; }},
        {"--resume", [&](const std::string& v) { options.resumeLog = v; }},
        {"--watch", [&](const std::string& v) { options.watchFolder = v; }},
        {"--settle",
         [&](const std::string& v) {
             options.settleSeconds = CheckedNumber("--settle", v, 0.1, true,
                                                   "the settle time is in seconds, at least 0.1");
         }},
        {"--settings", [&](const std::string& v) { options.settingsPath = v; }},
        {"--jobs", [&](const std::string& v) { options.jobs = WholeNumber("-j", v, 1, 256); }},
        {"-j", [&](const std::string& v) { options.jobs = WholeNumber("-j", v, 1, 256); }},
        {"--shard", [&](const std::string& v) { options.shard = ParseShard(v); }},
        {"--fonts", [&](const std::string& v) { options.fontFolders.push_back(v); }},
        {"--papers",
         [&](const std::string& v) {
             options.action = PlotAction::Papers;
             options.papersDevice = v;
         }},
        {"--offset",
         [&](const std::string& v) {
             const auto comma = v.find(',');
             if (comma == std::string::npos) {
                 Fail("--offset: expected X,Y in millimetres, got \"" + v + "\"");
             }
             s.offsetX = v.substr(0, comma);
             s.offsetY = v.substr(comma + 1);
         }},
    };
    const std::map<std::string, std::function<void()>> flags = {
        {"--bottom-up", [&] { s.rowsBottomUp = true; }},
        {"--whole-layouts", [&] { options.output.wholeLayouts = true; }},
        {"--right-to-left", [&] { options.order.rightToLeft = true; }},
        {"--recursive", [&] { options.recursive = true; }},
        {"-r", [&] { options.recursive = true; }},
        {"--explain", [&] { options.explain = true; }},
        {"--stop-on-error", [&] { options.stopOnError = true; }},
        {"--recover", [&] { options.recover = true; }},
        {"--save-settings", [&] { options.saveSettings = true; }},
        {"--split", [&] { options.output.split = true; }},
        {"--no-progress", [&] { options.progress = ProgressDisplay::Never; }},
        {"--merge-logs", [&] { options.action = PlotAction::MergeLogs; }},
        {"--worker", [&] { options.worker = true; }},
        {"--portrait", [&] { s.portrait = true; }},
        {"--reverse", [&] { s.reversePlot = true; }},
        {"--center", [&] { s.centerPlot = true; }},
        {"--no-lineweights", [&] { s.plotLineweights = false; }},
        {"--no-plot-styles", [&] { s.plotStyles = false; }},
        {"--hide", [&] { s.hideObjects = true; }},
        {"--monochrome", [&] { monochrome = true; }},
        {"--list", [&] { options.action = PlotAction::List; }},
        {"--progress", [&] { options.progress = ProgressDisplay::Always; }},
        {"--devices", [&] { options.action = PlotAction::Devices; }},
        {"--help", [&] { options.action = PlotAction::Help; }},
        {"-h", [&] { options.action = PlotAction::Help; }},
        {"--version", [&] { options.action = PlotAction::Version; }},
    };

    bool onlyFiles = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (onlyFiles || argument.empty() || argument[0] != '-' || argument == "-") {
            options.drawings.push_back(argument);
            continue;
        }
        if (argument == "--") {
            onlyFiles = true;
            continue;
        }
        std::string key = argument;
        std::optional<std::string> inlineValue;
        if (const auto equals = argument.find('='); equals != std::string::npos) {
            key = argument.substr(0, equals);
            inlineValue = argument.substr(equals + 1);
        } else if (argument.size() > 2 && argument.rfind("-j", 0) == 0) {
            key = "-j"; // -j4
            inlineValue = argument.substr(2);
        }
        const bool forWorkers = kParentOnly.count(key) == 0;
        if (key == "--styles") {
            // "--styles DIR" (or --styles=DIR) adds a folder of table files; a plain "--styles"
            // lists the tables. A folder right after it is always taken as one of tables, so a
            // folder of drawings is named anywhere else on the line.
            if (inlineValue) {
                options.styleFolders.push_back(*inlineValue);
                options.workerArguments.insert(options.workerArguments.end(),
                                               {"--styles", *inlineValue});
            } else if (i + 1 < arguments.size() && IsFolder(arguments[i + 1])) {
                options.styleFolders.push_back(arguments[++i]);
                options.workerArguments.insert(options.workerArguments.end(),
                                               {"--styles", arguments[i]});
            } else {
                options.action = PlotAction::Styles;
            }
            continue;
        }
        if (const auto setter = withValue.find(key); setter != withValue.end()) {
            if (!inlineValue) {
                if (i + 1 >= arguments.size()) {
                    Fail(key + ": a value is missing");
                }
                inlineValue = arguments[++i];
            }
            setter->second(*inlineValue);
            if (forWorkers) {
                options.workerArguments.insert(options.workerArguments.end(), {key, *inlineValue});
            }
        } else if (const auto flag = flags.find(key); flag != flags.end() && !inlineValue) {
            flag->second();
            if (forWorkers) {
                options.workerArguments.push_back(key);
            }
        } else {
            Fail("unknown option \"" + argument + "\" (see --help)");
        }
    }
    if (name) {
        switch (s.frameKind) {
        case FrameKind::PolylineLayer:
            s.frameLayer = *name;
            break;
        case FrameKind::BlockReference:
            s.blockName = *name;
            break;
        case FrameKind::ExternalReference:
            s.xrefName = *name;
            break;
        }
    }
    options.order.bottomUp = s.rowsBottomUp;
    // A styles folder and nothing to plot: the tables it adds are listed.
    if (options.action == PlotAction::Plot && options.drawings.empty() &&
        !options.styleFolders.empty()) {
        options.action = PlotAction::Styles;
    }
    if (!options.watchFolder.empty()) {
        CheckWatch(options);
    } else if (options.worker) {
        if (options.action != PlotAction::Plot || !options.drawings.empty()) {
            Fail("--worker takes its drawings on stdin");
        }
    } else if (options.action == PlotAction::Plot && !options.resumeLog.empty()) {
        if (!options.drawings.empty()) {
            Fail("--resume: the drawings come from the log; give no drawings with it");
        }
    } else if ((options.action == PlotAction::Plot || options.action == PlotAction::List) &&
               options.drawings.empty()) {
        Fail("no drawing given (see --help)");
    }
    if (options.action == PlotAction::MergeLogs && options.drawings.empty()) {
        Fail("--merge-logs: name the logs to join (see --help)");
    }
    if (options.explain && (options.action != PlotAction::List || !options.autoFrames)) {
        Fail("--explain goes with --list --kind auto: it says why candidates are no frames");
    }
    if (options.action == PlotAction::Plot) {
        CheckPlotValues(s);
    }
    try {
        sheets::ParseScale(options.output.scale);
    } catch (const Error& failure) {
        Fail("--scale: " + failure.Description());
    }
    if (options.output.scale != "auto" && options.output.paper == output::PaperMode::Panel) {
        Fail("--scale 1:N needs --paper auto or frame (the panel's paper keeps the frame-length "
             "rule)");
    }
    options.pageFormat.kind = PageFormat::KindNamed(format);
    const bool picture = format == "png" || format == "tiff";
    options.pageFormat.dpi = dpi.value_or(300);
    options.pageFormat.monochrome = monochrome;
    if (format != "pdf") {
        if (options.action == PlotAction::Plot && s.printerName != builtin::kPdfDevice) {
            Fail("--format " + format + ": pages as files are written by the device " +
                 std::string(builtin::kPdfDevice) + ", not by a printer");
        }
        if (options.output.merge != output::MergeMode::None || options.output.cataloguePdf) {
            Fail("--format " + format + ": --merge and a PDF catalogue put PDF pages together; "
                 "give them with PDF pages");
        }
    }
    if (dpi && !picture) {
        Fail("--dpi goes with --format png or tiff: " + format +
             " pages are drawn, not made of dots");
    }
    if (monochrome && !picture) {
        Fail("--monochrome goes with --format png or tiff: one bit a dot");
    }
    if (options.output.split && options.action != PlotAction::Help &&
        options.action != PlotAction::Version) {
        CheckSplit(options, deviceGiven, format != "pdf" || dpi.has_value() || monochrome);
    }
    if (fallbackGiven && options.output.paper != output::PaperMode::Auto) {
        Fail("--fallback goes with --paper auto: it says where a frame that is no standard sheet "
             "goes");
    }
    // Merged files and the catalogue gather every page of the run in the one process.
    if (options.output.merge != output::MergeMode::None || options.output.catalogueCsv ||
        options.output.catalogueXlsx || options.output.cataloguePdf) {
        if (options.jobs > 1) {
            Fail("--merge and --catalogue gather every page in one process: give them without -j");
        }
        options.jobs = 1;
    }
    return options;
}

} // namespace kw
