#include <QCoreApplication>
#include <QGuiApplication>
#include <QTimer>

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <system_error>

#include "base/characters.h"
#include "base/paths.h"
#include "base/program_files.h"
#include "builtin/builtin_cad.h"
#include "builtin/builtin_objects.h"
#include "drawing/dxf_io.h"
#include "render/fonts.h"

namespace kw::builtin {
namespace {

namespace fs = std::filesystem;

// Paths reach the CAD from the runs and from list files written on Windows: both separators are
// taken, and a doubled one (folder "/" joined with "\TEMPLATE") counts once.
std::string NormalizePath(const std::string& path) {
    std::string text = path;
    std::replace(text.begin(), text.end(), '\\', '/');
    return Utf8FromPath(PathFromUtf8(text).lexically_normal());
}

// A .dwg (letter case ignored) is read through its converted DXF; external references to DWG
// files are converted as well, and those that cannot be are said on the command line.
drawing::Document LoadOrFail(ApplicationState& app, const std::string& path) {
    drawing::Document document;
    if (IsDwgPath(path)) {
        document = LoadDwgDrawing(path, app.options.dwg, app.options.programFolder,
                                  app.options.keepDrawingBytes);
    } else {
        std::error_code error;
        if (!fs::is_regular_file(PathFromUtf8(path), error)) {
            Fail(errors::kSystemFileNotFound, path + ": file not found");
        }
        try {
            document = drawing::LoadDrawing(
                path, {.recover = app.options.recoverDamaged,
                       .keep = app.options.saveDrawings || app.options.keepDrawingBytes
                                   ? drawing::KeepBytes::ForSave
                                   : drawing::KeepBytes::ForReading});
        } catch (const drawing::DxfError& failure) {
            Fail(errors::kCannotOpen, failure.Description());
        }
        if (!document.damage.empty()) {
            app.commandLine.push_back(document.damage);
        }
    }
    std::vector<std::string> failures;
    ConvertDwgXrefs(document, app.options.dwg, app.options.programFolder, failures);
    for (const std::string& failure : failures) {
        app.commandLine.push_back(failure);
    }
    return document;
}

// A drawing with nothing but model space, for Add when the template is missing.
drawing::Document BlankDrawing() {
    drawing::Document document;
    document.header.push_back({"$ACADVER", {{1, "AC1015"}}});
    document.header.push_back({"$PSTYLEMODE", {{290, "1"}}});
    document.layers.push_back(drawing::Layer{.name = "0"});
    drawing::Layout model;
    model.name = "Model";
    model.isModel = true;
    document.layouts.push_back(model);
    document.RebuildIndexes();
    return document;
}

class BuiltinDocuments : public CadDocuments {
public:
    explicit BuiltinDocuments(std::shared_ptr<ApplicationState> app) : m_app(std::move(app)) {}

    std::shared_ptr<CadDocument> Add() override {
        const std::string templatePath =
            ProgramFilePath(m_app->options.programFolder, kTemplateFile);
        std::error_code error;
        return AddFrom(fs::is_regular_file(PathFromUtf8(templatePath), error)
                           ? LoadOrFail(*m_app, templatePath)
                           : BlankDrawing());
    }

    std::shared_ptr<CadDocument> Add(const std::string& templatePath) override {
        return AddFrom(LoadOrFail(*m_app, NormalizePath(templatePath)));
    }

    std::shared_ptr<CadDocument> Open(const std::string& path) override {
        const std::string normalized = NormalizePath(path);
        // A drawing that is open already comes to the front as it is, unsaved changes and all.
        for (const auto& document : m_app->documents) {
            std::error_code error;
            if (!document->path.empty() &&
                fs::equivalent(PathFromUtf8(document->path), PathFromUtf8(normalized), error)) {
                m_app->Activate(document);
                return MakeDocument(document);
            }
        }
        auto state = std::make_shared<DocumentState>(
            m_app, LoadOrFail(*m_app, normalized),
            Utf8FromPath(PathFromUtf8(normalized).filename()), normalized);
        state->fromDwg = IsDwgPath(normalized);
        m_app->Activate(state);
        return MakeDocument(state);
    }

private:
    std::shared_ptr<CadDocument> AddFrom(drawing::Document drawing) {
        const std::string name = "Drawing" + std::to_string(++m_app->untitledCount) + ".dxf";
        drawing.path.clear(); // xrefs of a new drawing resolve against no folder
        auto state = std::make_shared<DocumentState>(m_app, std::move(drawing), name, "");
        m_app->Activate(state);
        return MakeDocument(state);
    }

    std::shared_ptr<ApplicationState> m_app;
};

} // namespace

bool IsDwgPath(const std::string& path) {
    return HasExtension(path, ".dwg");
}

std::shared_ptr<CadDocuments> MakeDocuments(std::shared_ptr<ApplicationState> state) {
    return std::make_shared<BuiltinDocuments>(std::move(state));
}

[[noreturn]] void Fail(std::int32_t code, const std::string& description) {
    throw CadError(code, description);
}

ApplicationState::ApplicationState(BuiltinOptions options)
    : options(std::move(options)),
      devices(this->options.printers ? this->options.printers
                                     : SystemPrinterSource(QtSystemPrinters)) {
    if (this->options.programFolder.empty()) {
        this->options.programFolder = RunningProgramFolder();
    }
    std::vector<std::string> fontFolders = this->options.fontFolders;
    for (const std::string& folder : ProgramFileFolders(this->options.programFolder)) {
        fontFolders.push_back(Utf8FromPath(PathFromUtf8(folder) / "Fonts"));
    }
    if (QGuiApplication::instance() != nullptr) {
        for (const std::string& folder : fontFolders) {
            render::AddFontFolder(QString::fromStdString(folder));
        }
    }
    // The font database needs a GUI application; a console one has only the name.
    const std::string standIn = qobject_cast<QGuiApplication*>(QCoreApplication::instance())
                                    ? render::FallbackFamily().toStdString()
                                    : std::string(render::kFallbackFamily);
    fonts = std::make_shared<render::FontLibrary>(std::move(fontFolders), this->options.fontMap,
                                                  standIn);
    variables["BACKGROUNDPLOT"] = 2;
    variables["FILEDIA"] = 1;
    variables["CMDECHO"] = 1;
}

std::shared_ptr<DocumentState> ApplicationState::Active() const {
    return documents.empty() ? nullptr : documents.back();
}

ApplicationState::~ApplicationState() = default;

void ApplicationState::Activate(std::shared_ptr<DocumentState> document) {
    std::erase(documents, document); // by value: `document` may refer into the list
    documents.push_back(document);
    Changed();
}

void ApplicationState::Remove(const DocumentState& document) {
    std::erase_if(documents, [&](const auto& d) { return d.get() == &document; });
    Changed();
}

std::string ApplicationState::Caption() const {
    const auto active = Active();
    return active ? std::string(kWindowTitle) + " - [" + active->name + "]" : kWindowTitle;
}

CadScreen* ApplicationState::Screen() {
    if (!m_screen) {
        m_screen = MakeCadScreen(*this);
    }
    return m_screen.get();
}

void ApplicationState::Changed() {
    if (m_screen) {
        m_screen->Refresh();
    }
}

void DocumentState::CheckOpen() const {
    if (closed) {
        Fail(errors::kFailed, name + ": the drawing has been closed");
    }
}

const render::Renderer& DocumentState::Renderer() {
    if (!m_renderer)
        m_renderer = std::make_unique<render::Renderer>(drawing, FontsOfRun());
    return *m_renderer;
}

void DocumentState::ReportRenderWarnings() {
    if (!m_renderer)
        return;
    bool shown = false;
    const auto app = application.lock();
    for (const std::string& warning : m_renderer->Warnings()) {
        if (!m_warningsShown.Add(warning))
            continue;
        const std::string line = name + ": " + warning;
        std::cerr << line << std::endl;
        if (app)
            app->commandLine.push_back(line);
        shown = true;
    }
    if (!shown)
        return;
    // Called while a view paints: the window shows the new lines once that paint is over.
    if (app)
        QTimer::singleShot(0, [weak = std::weak_ptr<ApplicationState>(app)] {
            if (const auto state = weak.lock())
                state->Changed();
        });
}

std::shared_ptr<render::FontLibrary> DocumentState::FontsOfRun() const {
    const auto app = application.lock();
    return app ? app->fonts : nullptr;
}

std::shared_ptr<ApplicationState> DocumentState::App() const {
    auto app = application.lock();
    if (!app) {
        Fail(errors::kFailed, "the CAD application has ended");
    }
    return app;
}

std::string RunningProgramFolder() {
    if (QCoreApplication::instance() != nullptr) {
        return QCoreApplication::applicationDirPath().toStdString();
    }
    std::error_code error;
    const fs::path executable = fs::read_symlink("/proc/self/exe", error);
    if (error || executable.empty()) {
        return ".";
    }
    return Utf8FromPath(executable.parent_path());
}

BuiltinApplication::BuiltinApplication(BuiltinOptions options)
    : m_state(std::make_shared<ApplicationState>(std::move(options))) {}

BuiltinApplication::~BuiltinApplication() {
    for (const auto& document : m_state->documents) {
        document->closed = true;
    }
}

void BuiltinApplication::PutVisible(bool visible) {
    m_state->visible = visible;
    if (visible) {
        m_state->Screen(); // headless: the flag is kept, there is nothing to show
    }
    m_state->Changed();
}

std::shared_ptr<CadDocument> BuiltinApplication::ActiveDocument() {
    const auto active = m_state->Active();
    if (!active) {
        Fail(errors::kFailed, "no drawing is open");
    }
    return MakeDocument(active);
}

std::shared_ptr<CadDocuments> BuiltinApplication::Documents() {
    return MakeDocuments(m_state);
}

std::string BuiltinApplication::Caption() {
    return m_state->Caption();
}

std::string BuiltinApplication::FullName() {
    std::string folder = ProgramFileFolder(m_state->options.programFolder, kTemplateFile);
    if (folder.empty() || folder.back() != '/') {
        folder += '/';
    }
    return folder + kExecutableName;
}

bool BuiltinApplication::Visible() const {
    return m_state->visible;
}

int BuiltinApplication::Variable(const std::string& name) const {
    std::string upper = name;
    for (char& c : upper) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    const auto found = m_state->variables.find(upper);
    return found == m_state->variables.end() ? -1 : found->second;
}

std::vector<std::string> BuiltinApplication::CommandLine() const {
    return m_state->commandLine;
}

std::size_t BuiltinApplication::DocumentCount() const {
    return m_state->documents.size();
}

std::pair<const drawing::Document*, std::string> BuiltinApplication::ActiveDrawing() const {
    const auto active = m_state->Active();
    if (!active) {
        return {nullptr, {}};
    }
    return {&active->drawing, active->path.empty() ? active->name : active->path};
}

std::vector<std::string> BuiltinApplication::TakeFontSubstitutions() {
    return m_state->fonts ? m_state->fonts->TakeSubstitutions() : std::vector<std::string>();
}

std::vector<std::string> TakeFontSubstitutions(CadApplication& application) {
    auto* builtin = dynamic_cast<BuiltinApplication*>(&application);
    return builtin ? builtin->TakeFontSubstitutions() : std::vector<std::string>();
}

std::shared_ptr<CadApplication> BuiltinBackend::Attach() {
    if (!m_application) {
        Fail(errors::kFailed, "the built-in CAD is not running");
    }
    return m_application;
}

std::shared_ptr<CadApplication> BuiltinBackend::Start() {
    if (!m_application) {
        m_application = std::make_shared<BuiltinApplication>(m_options);
    }
    return m_application;
}

} // namespace kw::builtin
