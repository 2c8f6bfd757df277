// kestrelwick-plot: lists or plots the frames of DXF and DWG drawings with the built-in CAD,
// without windows, in batches.

#include <QGuiApplication>

#include <iostream>

#include "app/plot/batch_run.h"
#include "app/plot/catalog_commands.h"
#include "app/plot/drawing_plotter.h"
#include "app/plot/plot_options.h"
#include "app/plot/plot_output_run.h"
#include "app/plot/watch_run.h"
#include "base/console.h"
#include "base/error.h"
#include "base/paths.h"
#include "base/version.h"
#include "builtin/builtin_cad.h"
#include "cad/cad_session.h"
#include "cad/messages.h"
#include "settings/settings_file.h"

int main(int argc, char** argv) {
    using namespace kw;
    // Qt finds the print system's plugins through the application object, and text on a page
    // needs the fonts of a GUI application; no display is needed. On Windows the offscreen
    // platform knows only the fonts in Qt's own folder, so every character would be a box: the
    // minimal one there, with the system's fonts.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
#ifdef _WIN32
        qputenv("QT_QPA_PLATFORM", "minimal:enable_fonts");
#else
        qputenv("QT_QPA_PLATFORM", "offscreen");
#endif
    }
    // Qt takes options of its own out of the arguments (--reverse among them): it gets none.
    const std::vector<std::string> arguments = ProgramArguments(argc, argv);
    PrepareConsole();
    int qtArgc = 1;
    QGuiApplication qt(qtArgc, argv);

    const std::string programFolder = builtin::RunningProgramFolder();
    const std::string settingsPath = SettingsPathArgument(arguments);
    SettingsFile settingsFile = settingsPath.empty()
                                    ? SettingsFile::Locate(programFolder, UserConfigFolder())
                                    : SettingsFile(settingsPath);
    StoredSettings stored;
    PrinterTable printers;
    settingsFile.Read(stored, printers);

    PlotOptions options;
    try {
        options = ParsePlotOptions(arguments, DefaultsFrom(stored));
        CheckNamedFiles(options);
        if (!builtin::Writes(options.pageFormat)) {
            throw Error(errors::kInvalidCall, "--format: this build of the program writes no " +
                                                  options.pageFormat.Extension().substr(1) +
                                                  " files");
        }
        if (!settingsPath.empty() && !options.saveSettings && !FileExists(settingsPath)) {
            throw Error(errors::kFileNotFound,
                        "--settings: there is no settings file " + settingsPath);
        }
    } catch (const Error& failure) {
        std::cerr << "kestrelwick-plot: " << failure.Description() << std::endl;
        return 2;
    }
    if (options.action == PlotAction::Help) {
        std::cout << PlotUsage();
        return 0;
    }
    if (options.action == PlotAction::Version) {
        std::cout << "kestrelwick-plot " << kVersion << std::endl;
        return 0;
    }

    builtin::BuiltinOptions cadOptions;
    cadOptions.programFolder = programFolder;
    cadOptions.plotFolder = options.outputFolder;
    cadOptions.pageFormat = options.pageFormat;
    cadOptions.fontFolders = options.fontFolders;
    // The office's font substitutions beside the settings file; the run that hands out the
    // drawings says what is wrong with the table, its workers only use it.
    const render::FontMapFile fontMap = render::ReadFontMap(
        Utf8FromPath(PathFromUtf8(settingsFile.Path()).parent_path() / render::kFontMapFileName));
    if (!options.worker) {
        for (const std::string& problem : fontMap.problems) {
            std::cerr << "kestrelwick-plot: " << problem << std::endl;
        }
    }
    cadOptions.fontMap = fontMap.map;
    cadOptions.styleFolders = options.styleFolders;
    cadOptions.recoverDamaged = options.recover;
    cadOptions.saveDrawings = options.saveSettings;
    cadOptions.keepDrawingBytes = options.output.split;
    auto backend = std::make_shared<builtin::BuiltinBackend>(cadOptions);
    CadSession session([backend] { return backend; },
                       [](const std::string& text) { std::cerr << text << std::endl; });
    try {
        switch (options.action) {
        case PlotAction::List:
            return ListFrames(session, options, cadOptions, std::cout, std::cerr);
        case PlotAction::MergeLogs:
            return MergeLogs(options, std::cout);
        case PlotAction::Plot:
            break;
        default:
            return PrintCatalog(session, options, std::cout);
        }
        PaperTable papers;
        try {
            papers = CheckDeviceAndPaper(session, options.settings);
        } catch (const Error& failure) {
            std::cerr << "kestrelwick-plot: " << failure.Description() << std::endl;
            return 2;
        }
        const LayoutChoice layouts =
            ParseLayoutChoice(options.output.layouts, options.output.wholeLayouts);
        PageFinder findPages =
            options.autoFrames ? AutomaticFrames(options.order, cadOptions.dwg,
                                                 cadOptions.programFolder, options.recover, layouts)
                               : ConfiguredFrames(options.settings, options.order, layouts);
        std::unique_ptr<output::OutputRun> outputRun;
        try {
            outputRun = MakeOutputRun(options, backend, settingsFile.Path(),
                                      papers.CanonicalName(options.settings.paperName), std::cerr);
        } catch (const Error& failure) {
            std::cerr << "kestrelwick-plot: " << failure.Description() << std::endl;
            return 2;
        }
        DrawingPlotter drawingPlotter(session, options.settings, papers, std::move(findPages),
                                      options.saveSettings, outputRun.get());
        drawingPlotter.SetNotices([](const std::string& line) { std::cerr << line << std::endl; });
        if (options.worker) {
            return RunWorker(drawingPlotter, options.stopOnError);
        }
        if (!options.watchFolder.empty()) {
            if (options.saveSettings) {
                SaveSettings(settingsFile, options.settings, printers);
            }
            return RunWatch(options, drawingPlotter, std::cout, std::cerr);
        }
        if (options.saveSettings) {
            SaveSettings(settingsFile, options.settings, printers);
        }
        const int status =
            RunBatch(options, drawingPlotter, QCoreApplication::applicationFilePath().toStdString(),
                     std::cout, std::cerr);
        return FinishOutput(outputRun.get(), status, std::cout, std::cerr);
    } catch (const Error& failure) {
        std::cerr << MessageForError(failure.Number()) << '\n'
                  << failure.Description() << std::endl;
        return 1;
    }
}
