// kestrelwick-plot: lists or plots the frames of DXF drawings with the built-in CAD, without
// windows.

#include <QGuiApplication>

#include <charconv>
#include <filesystem>
#include <iostream>
#include <memory>
#ifndef _WIN32
#include <unistd.h>
#endif

#include "app/plot/console_run_host.h"
#include "app/plot/plot_options.h"
#include "app/plot/plot_output_run.h"
#include "app/plot/progress_bar.h"
#include "cad/builtin/builtin_cad.h"
#include "cad/builtin/plot_devices.h"
#include "cad/cad_session.h"
#include "cad/messages.h"
#include "engine/frames.h"
#include "engine/plot_run.h"
#include "settings/settings_file.h"

namespace {

using namespace kw;

// Shortest text that reads back as the same double.
std::string ShortestText(double value) {
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}

void ReportFailure(const Error& failure) {
    std::cerr << MessageForError(failure.Number()) << '\n' << failure.Description() << std::endl;
}

std::shared_ptr<CadApplication> Connected(CadSession& session) {
    session.Connect();
    return session.Application(); // Error 91 when the CAD could not be started
}

int ListFrames(CadSession& session, const PlotOptions& options) {
    DrawingList drawings;
    for (const std::string& path : options.drawings) {
        drawings.Add(path);
    }
    const auto application = Connected(session);
    for (const std::string& path : drawings.Entries()) {
        const auto document = application->Documents()->Open(path);
        std::vector<FrameExtent> frames = FindFrames(*document, options.settings);
        if (!frames.empty()) {
            frames = OrderFrames(std::move(frames), options.settings.rowsBottomUp);
        }
        for (std::size_t page = 0; page < frames.size(); ++page) {
            const FrameExtent& frame = frames[page];
            std::cout << path << '\t' << page + 1 << '\t' << ShortestText(frame.xMin) << ' '
                      << ShortestText(frame.yMin) << ' ' << ShortestText(frame.xMax) << ' '
                      << ShortestText(frame.yMax) << '\n';
        }
        document->Close(false);
    }
    std::cout.flush();
    return 0;
}

// The catalogs as a new drawing's model space sees them, like Get printer list.
std::shared_ptr<CadLayout> CatalogLayout(CadSession& session) {
    const auto document = Connected(session)->Documents()->Add();
    auto layout = document->ModelSpace()->Layout();
    layout->RefreshPlotDeviceInfo();
    return layout;
}

// The papers of a device as Choose printer stores them: canonical name and display name.
std::vector<PaperEntry> DevicePapers(CadSession& session, const std::string& device) {
    const auto layout = CatalogLayout(session);
    layout->PutConfigName(device);
    layout->RefreshPlotDeviceInfo();
    std::vector<PaperEntry> papers;
    for (const std::string& canonical : layout->GetCanonicalMediaNames()) {
        papers.push_back({canonical, layout->GetLocaleMediaName(canonical)});
    }
    return papers;
}

int PrintCatalog(CadSession& session, const PlotOptions& options) {
    switch (options.action) {
    case PlotAction::Devices:
        for (const std::string& name : CatalogLayout(session)->GetPlotDeviceNames()) {
            std::cout << name << '\n';
        }
        break;
    case PlotAction::Papers:
        for (const PaperEntry& paper : DevicePapers(session, options.papersDevice)) {
            std::cout << paper.displayName << '\t' << paper.canonicalName << '\n';
        }
        break;
    default:
        for (const std::string& name : CatalogLayout(session)->GetPlotStyleTableNames()) {
            std::cout << name << '\n';
        }
        break;
    }
    std::cout.flush();
    return 0;
}

bool StderrIsTerminal() {
#ifdef _WIN32
    return false;
#else
    return isatty(STDERR_FILENO) != 0;
#endif
}

// Runs the plot over the drawings; `written` gathers the files as the devices write them.
int Plot(CadSession& session, const PlotOptions& options, SettingsFile& settingsFile,
         const PrinterTable& printers, const std::vector<builtin::PlottedJob>& written,
         std::unique_ptr<ProgressBar>& bar, std::shared_ptr<builtin::BuiltinBackend> backend,
         std::unique_ptr<output::OutputRun>& outputRun) {
    ConsoleRunHost host(options.settings, std::cout, std::cerr);
    host.Printers() = printers;
    for (const std::string& path : options.drawings) {
        host.Drawings().Add(path);
    }
    const auto papers = DevicePapers(session, options.settings.printerName);
    for (std::size_t i = 0; i < papers.size() && i < PaperTable::kCapacity; ++i) {
        host.MutablePapers().Store(static_cast<int>(i) + 1, papers[i]);
    }
    host.MutablePapers().SetPaperCount(
        static_cast<std::int16_t>(std::min<std::size_t>(papers.size(), PaperTable::kCapacity)));
    if (options.progress && StderrIsTerminal()) {
        bar = std::make_unique<ProgressBar>(std::cerr, host.Drawings().Count());
        host.SetProgressBar(bar.get());
    }
    const std::string settingsFolder =
        std::filesystem::path(settingsFile.Path()).parent_path().string();
    outputRun = MakeOutputRun(options, backend, settingsFolder,
                              host.Papers().CanonicalName(options.settings.paperName), std::cerr);
    const builtin::BuiltinFailure before = builtin::LastFailure();
    PlotRunner runner(session, host, settingsFile);
    runner.SetFrameHook(outputRun.get());
    runner.RunPlot();
    if (bar) {
        bar->Clear();
    }
    std::vector<output::OutputRun::Written> results;
    if (outputRun && !host.Failed()) {
        results = outputRun->Finish();
    }
    const bool merged = options.output.merge != output::MergeMode::None && !results.empty();
    for (const auto& result : results) {
        if (result.pages == 0) {
            std::cout << "图纸目录 " << result.path << '\n';
        }
    }
    for (const builtin::PlottedJob& job : written) {
        if (!merged) {
            std::cout << job.file << '\t' << job.pages << '\n';
        }
    }
    for (const auto& result : results) {
        if (result.pages > 0) {
            std::cout << result.path << '\t' << result.pages << '\n';
        }
    }
    std::cout.flush();
    if (!host.Failed()) {
        return 0;
    }
    // The run's message gives only the number; what failed and where is the CAD's to say.
    const builtin::BuiltinFailure failure = builtin::LastFailure();
    if (failure.number != 0 && MessageForError(failure.number) == host.ErrorText() &&
        (failure.number != before.number || failure.description != before.description)) {
        std::cerr << failure.description << std::endl;
    }
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    // Qt finds the print system's plugins through the application object, and text on a page
    // needs the fonts of a GUI application; no display is needed.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    // Qt takes options of its own out of the arguments (--reverse among them): it gets none.
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    int qtArgc = 1;
    QGuiApplication qt(qtArgc, argv);

    const std::string programFolder = builtin::RunningProgramFolder();
    SettingsFile settingsFile = SettingsFile::Locate(programFolder, UserConfigFolder());
    StoredSettings stored;
    PrinterTable printers;
    settingsFile.Read(stored, printers);

    PlotSettings defaults;
    defaults.frameLength = stored.frameLength;
    defaults.pointAllowance = stored.pointAllowance;
    defaults.frameLayer = stored.frameLayer;
    defaults.blockName = stored.blockName;
    defaults.xrefName = stored.xrefName;
    defaults.printerName = builtin::kPdfDevice;
    defaults.paperName = "ISO_A3_(420.00_x_297.00_MM)";

    PlotOptions options;
    try {
        options = ParsePlotOptions(arguments, defaults);
    } catch (const Error& failure) {
        std::cerr << "kestrelwick-plot: " << failure.Description() << std::endl;
        return 2;
    }
    if (options.action == PlotAction::Help) {
        std::cout << PlotUsage();
        return 0;
    }

    builtin::BuiltinOptions cadOptions;
    cadOptions.programFolder = programFolder;
    cadOptions.plotFolder = options.outputFolder;
    cadOptions.fontFolders = options.fontFolders;
    cadOptions.styleFolders = options.styleFolders;
    std::vector<builtin::PlottedJob> written;
    std::unique_ptr<ProgressBar> bar;
    std::unique_ptr<output::OutputRun> outputRun;
    cadOptions.pageName = [&outputRun] {
        return outputRun ? outputRun->PendingName() : std::string();
    };
    cadOptions.plotted = [&written, &bar, &outputRun](const builtin::PlottedJob& job) {
        if (!job.file.empty()) {
            written.push_back(job);
        }
        if (outputRun) {
            outputRun->PageWritten(job.file);
        }
        if (bar) {
            bar->AddPage();
            bar->Draw();
        }
    };
    auto backend = std::make_shared<builtin::BuiltinBackend>(cadOptions);
    CadSession session([backend] { return backend; },
                       [](const std::string& text) { std::cerr << text << std::endl; });
    try {
        switch (options.action) {
        case PlotAction::List:
            return ListFrames(session, options);
        case PlotAction::Plot:
            return Plot(session, options, settingsFile, printers, written, bar, backend, outputRun);
        default:
            return PrintCatalog(session, options);
        }
    } catch (const Error& failure) {
        ReportFailure(failure);
        return 1;
    }
}
