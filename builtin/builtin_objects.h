#pragma once

// The objects of the built-in CAD behind the interfaces of cad/automation.h. Internal to
// builtin.

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/warnings.h"
#include "builtin/builtin_cad.h"
#include "builtin/cad_screen.h"
#include "builtin/plot_devices.h"
#include "drawing/document.h"
#include "drawing/excerpt.h"
#include "render/render.h"
#include "render/shx_font.h"

namespace kw::builtin {

[[noreturn]] void Fail(std::int32_t code, const std::string& description);
bool IsDwgPath(const std::string& path);

class DocumentState;

// What every object of one application shares.
class ApplicationState : public std::enable_shared_from_this<ApplicationState> {
public:
    explicit ApplicationState(BuiltinOptions options);
    ~ApplicationState();

    BuiltinOptions options;
    DeviceCatalog devices;
    bool visible = false;
    std::vector<std::shared_ptr<DocumentState>> documents; // the last one is active
    std::map<std::string, int> variables;                  // upper-case names
    std::vector<std::string> commandLine;
    int untitledCount = 0;
    bool dwgCloseNoticeGiven = false; // said once per run: a DWG is never written back
    // The shape fonts of the run: the user's folders, then the Fonts folder beside the program.
    std::shared_ptr<render::FontLibrary> fonts;

    std::shared_ptr<DocumentState> Active() const;
    void Activate(std::shared_ptr<DocumentState> document);
    void Remove(const DocumentState& document);

    // The title of the CAD's window: kWindowTitle, with the active drawing's name.
    std::string Caption() const;
    // The window and dialogs, made on first use; nullptr where there is no window system.
    CadScreen* Screen();
    // Tells the screen, if there is one, that the title, the drawings or the command line changed.
    void Changed();

private:
    std::unique_ptr<CadScreen> m_screen;
};

// One open drawing. The drawing and everything set on it live here; the objects handed out
// (layouts, selection sets, entities) keep it alive and fail once it is closed.
class DocumentState {
public:
    DocumentState(std::weak_ptr<ApplicationState> application, drawing::Document drawing,
                  std::string name, std::string path)
        : application(std::move(application)), drawing(std::move(drawing)), name(std::move(name)),
          path(std::move(path)), activeLayout(this->drawing.ActiveLayoutIndex()) {}

    std::weak_ptr<ApplicationState> application;
    drawing::Document drawing;
    std::string name; // shown in the window title
    std::string path; // empty for a drawing not saved yet
    bool closed = false;
    bool fromDwg = false; // read through its converted DXF; the .dwg is never written
    // The layout plots and the window show: the one current when the file was saved until
    // ActiveLayout is set. Not written back: the file keeps its own current layout.
    std::size_t activeLayout = 0;
    // Selection sets by lower-case name, each the entities it holds.
    std::map<std::string, std::vector<const drawing::Entity*>> selectionSets;
    // Per layout: the device the last RefreshPlotDeviceInfo saw.
    std::map<std::size_t, std::string> refreshedDevice;
    std::int16_t copies = 1;
    // Plot jobs its devices have taken since it was opened; the next is page pagesPlotted + 1.
    int pagesPlotted = 0;
    // Drawings of single frames are cut from the layout `excerptLayout`, made on first use.
    std::unique_ptr<drawing::Excerpts> excerpts;
    std::size_t excerptLayout = 0;

    // CadError when the drawing has been closed.
    void CheckOpen() const;
    // The drawing's painter, made on first use; it indexes each layout once.
    const render::Renderer& Renderer();
    // Shows what the painter has warned of since the last call (a font not found, a block that
    // contains itself) on the command line and on stderr, each once.
    void ReportRenderWarnings();
    std::shared_ptr<ApplicationState> App() const;

private:
    std::shared_ptr<render::FontLibrary> FontsOfRun() const;

    std::unique_ptr<render::Renderer> m_renderer;
    Warnings m_warningsShown; // the painter's warnings said so far
};

std::shared_ptr<CadDocument> MakeDocument(std::shared_ptr<DocumentState> state);
std::shared_ptr<CadLayout> MakeLayout(std::shared_ptr<DocumentState> state, std::size_t index);
// Sets the layout's plot configuration to the job, each value checked as its member checks it.
void ApplyPlotJob(std::shared_ptr<DocumentState> state, std::size_t index, const PlotJob& job);
std::shared_ptr<CadEntity> MakeEntity(std::shared_ptr<DocumentState> state,
                                      const drawing::Entity* entity);
std::shared_ptr<CadSelectionSets> MakeSelectionSets(std::shared_ptr<DocumentState> state);
std::shared_ptr<CadDocuments> MakeDocuments(std::shared_ptr<ApplicationState> state);

// The host's entity type code of an entity (24 lightweight polyline, 7 block reference, ...).
std::int32_t EntityTypeCode(const drawing::Document& document, const drawing::Entity& entity);

// Runs command-line text: a carriage return, line feed or blank ends each input.
void RunCommandLine(ApplicationState& application, const std::string& text);

} // namespace kw::builtin
