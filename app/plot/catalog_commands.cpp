#include "app/plot/catalog_commands.h"

#include <algorithm>
#include <filesystem>
#include <ostream>

#include "app/plot/batch_run.h"
#include "app/plot/drawing_plotter.h"
#include "app/plot/frame_finders.h"
#include "base/error.h"
#include "batch/run_log.h"
#include "builtin/plot_devices.h"
#include "drawing/document.h"
#include "engine/frames.h"

namespace kw {
namespace {

std::shared_ptr<CadApplication> Connected(CadSession& session) {
    session.Connect();
    return session.Application(); // Error 91 when the CAD could not be started
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

} // namespace

PlotSettings DefaultsFrom(const StoredSettings& stored) {
    PlotSettings defaults;
    defaults.frameLength = stored.frameLength;
    defaults.pointAllowance = stored.pointAllowance;
    defaults.frameLayer = stored.frameLayer;
    defaults.blockName = stored.blockName;
    defaults.xrefName = stored.xrefName;
    defaults.printerName = builtin::kPdfDevice;
    defaults.paperName = "ISO_A3_(420.00_x_297.00_MM)";
    return defaults;
}

int ListFrames(CadSession& session, const PlotOptions& options,
               const builtin::BuiltinOptions& cadOptions, std::ostream& out, std::ostream& err) {
    std::shared_ptr<CadApplication> application;
    int status = 0;
    for (const std::string& path : DrawingsOf(options, err)) {
        std::vector<FrameExtent> frames;
        AutoFrames candidates;
        std::string damage; // of a drawing read as far as it goes (--recover)
        try {
            if (options.autoFrames) {
                candidates = ExplainFrames(path, options.order, cadOptions.dwg,
                                           cadOptions.programFolder, cadOptions.recoverDamaged);
                damage = candidates.damage;
            } else {
                if (!application) {
                    application = Connected(session);
                }
                const auto document = application->Documents()->Open(path);
                if (const auto* builtin =
                        dynamic_cast<const builtin::BuiltinApplication*>(application.get())) {
                    if (const drawing::Document* opened = builtin->ActiveDrawing().first) {
                        damage = opened->damage;
                    }
                }
                try {
                    frames = OrderFramesBy(FindFrames(*document, options.settings), options.order);
                } catch (const Error&) {
                    document->Close(false);
                    throw;
                }
                document->Close(false);
            }
        } catch (const Error& failure) {
            PageRecord record;
            record.drawing = path;
            record.error = FailureText(failure.Number(), failure.Description());
            err << FailureLine(record) << std::endl;
            status = 1;
            continue;
        }
        if (!damage.empty()) {
            PageRecord record;
            record.drawing = path;
            record.error = FailureText(errors::kCannotOpen,
                                       damage + "; the frames before the damage are listed");
            err << FailureLine(record) << std::endl;
            status = 1;
        }
        for (std::size_t page = 0; page < frames.size(); ++page) {
            out << path << '\t' << page + 1 << '\t' << ExtentText(frames[page]) << '\n';
        }
        for (const FrameCandidate& candidate : candidates.candidates) {
            if (candidate.page == 0 && !options.explain) {
                continue;
            }
            out << path << '\t' << (candidate.page > 0 ? std::to_string(candidate.page) : "-")
                << '\t' << ExtentText(candidate.extent);
            if (options.explain) {
                out << '\t' << (candidate.page > 0 ? candidate.sheet : RejectionText(candidate))
                    << ": " << candidate.description;
                if (candidate.layout != "Model") {
                    out << " in the layout " << candidate.layout;
                }
            }
            out << '\n';
        }
        out.flush();
    }
    return status;
}

int PrintCatalog(CadSession& session, const PlotOptions& options, std::ostream& out) {
    switch (options.action) {
    case PlotAction::Devices:
        for (const std::string& name : CatalogLayout(session)->GetPlotDeviceNames()) {
            out << name << '\n';
        }
        break;
    case PlotAction::Papers:
        for (const PaperEntry& paper : DevicePapers(session, options.papersDevice)) {
            out << paper.displayName << '\t' << paper.canonicalName << '\n';
        }
        break;
    default:
        for (const std::string& name : CatalogLayout(session)->GetPlotStyleTableNames()) {
            out << name << '\n';
        }
        break;
    }
    out.flush();
    return 0;
}

PaperTable CheckDeviceAndPaper(CadSession& session, const PlotSettings& settings) {
    const std::vector<std::string> devices = CatalogLayout(session)->GetPlotDeviceNames();
    if (std::find(devices.begin(), devices.end(), settings.printerName) == devices.end()) {
        throw Error(errors::kInvalidCall, "--device: there is no device \"" + settings.printerName +
                                              "\" (--devices lists those there are)");
    }
    const std::vector<PaperEntry> entries = DevicePapers(session, settings.printerName);
    PaperTable papers;
    bool found = settings.paperName.empty();
    for (std::size_t i = 0; i < entries.size() && i < PaperTable::kCapacity; ++i) {
        papers.Store(static_cast<int>(i) + 1, entries[i]);
        found = found || entries[i].canonicalName == settings.paperName ||
                entries[i].displayName == settings.paperName;
    }
    papers.SetPaperCount(
        static_cast<std::int16_t>(std::min<std::size_t>(entries.size(), PaperTable::kCapacity)));
    if (!found) {
        throw Error(errors::kInvalidCall, "--paper: the device \"" + settings.printerName +
                                              "\" has no paper \"" + settings.paperName +
                                              "\" (--papers \"" + settings.printerName +
                                              "\" lists its papers)");
    }
    return papers;
}

void CheckNamedFiles(const PlotOptions& options) {
    namespace fs = std::filesystem;
    const auto path = [](const std::string& text) {
        return fs::path(std::u8string(text.begin(), text.end()));
    };
    std::error_code error;
    for (const std::string& folder : options.fontFolders) {
        if (!fs::is_directory(path(folder), error)) {
            throw Error(errors::kInvalidCall, "--fonts: there is no folder " + folder);
        }
    }
    if (!options.resumeLog.empty() && !fs::is_regular_file(path(options.resumeLog), error)) {
        throw Error(errors::kInvalidCall, "--resume: there is no run log " + options.resumeLog);
    }
    if (!options.resumeLog.empty()) {
        try {
            ReadRunLog(options.resumeLog);
        } catch (const Error& failure) {
            throw Error(errors::kInvalidCall, "--resume: " + failure.Description());
        }
    }
}

void SaveSettings(SettingsFile& file, const PlotSettings& settings, PrinterTable printers) {
    const StoredSettings values{settings.frameLength, settings.pointAllowance, settings.frameLayer,
                                settings.blockName, settings.xrefName};
    const CurrentPrinter printer{settings.printerName, settings.offsetX, settings.offsetY,
                                 settings.portrait};
    file.Write(values, printers, printer);
}

} // namespace kw
