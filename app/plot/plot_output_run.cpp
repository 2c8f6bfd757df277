#include "app/plot/plot_output_run.h"

#include <filesystem>
#include <fstream>
#include <ostream>
#include <sstream>

#include "builtin/plot_devices.h"
#include "base/error.h"
#include "base/text_file.h"

namespace kw {

std::unique_ptr<output::OutputRun> MakeOutputRun(const PlotOptions& options,
                                                 std::shared_ptr<builtin::BuiltinBackend> backend,
                                                 const std::string& settingsPath,
                                                 const std::string& panelPaper, std::ostream& log) {
    if (!options.output.Active()) {
        return nullptr;
    }
    const std::u8string settings(settingsPath.begin(), settingsPath.end());
    const std::u8string folder = std::filesystem::path(settings).parent_path().u8string();
    const std::string settingsFolder(folder.begin(), folder.end());
    output::OutputSetup setup;
    setup.options = options.output;
    if (!options.fieldsFile.empty()) {
        std::ifstream in(std::filesystem::path(
                             std::u8string(options.fieldsFile.begin(), options.fieldsFile.end())),
                         std::ios::binary);
        if (!in) {
            throw Error(errors::kFileNotFound, "--fields: cannot read " + options.fieldsFile);
        }
        std::ostringstream bytes;
        bytes << in.rdbuf();
        try {
            setup.fields = output::ParseFieldDefinitions(DecodeTextFile(bytes.str()));
        } catch (const Error& failure) {
            throw Error(failure.Number(), options.fieldsFile + ": " + failure.Description());
        }
    } else {
        setup.fields = output::LoadFieldDefinitions(settingsFolder);
    }
    setup.deviceTakesAnySheet = options.settings.printerName == builtin::kPdfDevice;
    setup.outputFolder = options.outputFolder;
    setup.panelPaper = panelPaper;
    setup.activeDrawing = [backend] {
        output::ActiveDrawing active;
        if (const auto application = backend->Application()) {
            const auto [document, path] = application->ActiveDrawing();
            active.document = document;
            active.path = path;
        }
        return active;
    };
    setup.log = [&log](const std::string& line) { log << line << std::endl; };
    return std::make_unique<output::OutputRun>(std::move(setup));
}

int FinishOutput(output::OutputRun* run, int status, std::ostream& out, std::ostream& err) {
    if (run == nullptr) {
        return status;
    }
    try {
        for (const auto& written : run->Finish()) {
            if (written.pages > 0) {
                out << written.path << '\t' << written.pages << '\n';
            } else {
                out << "图纸目录 " << written.path << '\n';
            }
        }
        out.flush();
    } catch (const Error& failure) {
        err << "kestrelwick-plot: " << failure.Description() << std::endl;
        return 1;
    }
    return status;
}

} // namespace kw
