#pragma once

// The built-in CAD application: the automation object model of cad/automation.h over DXF drawings
// read by drawing/. It lives in the program's own process; "attaching" finds the instance that an
// earlier Start made.

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "builtin/dwg_conversion.h"
#include "builtin/plot_devices.h"
#include "cad/automation.h"
#include "render/font_map.h"

namespace kw::drawing {
class Document;
}

namespace kw::builtin {

// The executable name that FullName reports. Exactly nine characters, so that the template rule
// of the runs (FullName without its last nine characters, then "\TEMPLATE\acad.dwt") lands on
// TEMPLATE/acad.dwt in the program's folder, where the build puts the template. An installed
// program keeps it in its data folder (base/program_files.h): FullName names that folder then.
inline constexpr const char* kExecutableName = "kwcad.exe";
// The template that new drawings start from, relative to the program's folder.
inline constexpr const char* kTemplateFile = "TEMPLATE/acad.dwt";

// The title of the built-in CAD's window, followed by " - [drawing name]" when a drawing is open.
inline constexpr const char* kWindowTitle = "Kestrelwick CAD";

struct BuiltinOptions {
    // Where the program lies: FullName is this folder plus kExecutableName, and Add without a
    // template reads TEMPLATE/acad.dwt from it; fonts, plot styles and the DWG converter are
    // looked for in it too. For an installed program, its data folder after it.
    std::string programFolder;
    // The system's printers; QtSystemPrinters unless a test hands in its own.
    SystemPrinterSource printers;
    // Where the PDF device writes its files; empty for each drawing's own folder (the user's
    // documents folder for a drawing not saved yet). A typed plot job's folder takes its place.
    std::string plotFolder;
    // What the PDF device writes each page as (kestrelwick-plot --format, --dpi, --monochrome):
    // a PDF, or a picture or drawing of the same page under the same name.
    PageFormat pageFormat;
    // Folders of plot style table files (.ctb, .stb), searched before the PlotStyles folder
    // beside the program (kStyleFolderName).
    std::vector<std::string> styleFolders;
    // How .dwg drawings are converted to DXF.
    DwgConverterOptions dwg;
    // Folders of shape fonts (.shx) the user named, searched in this order before the Fonts
    // folder beside the program.
    std::vector<std::string> fontFolders;
    // Which fonts draw for those that are missing (FontMap.ini in the settings folder).
    render::FontMap fontMap;
    // Open an incomplete DXF drawing (cut off, a section not closed) with what it holds instead
    // of failing with 0x8000FFFF; the damage is said on the command line and kept in the
    // drawing's model (drawing::Document::damage, reached through DrawingOf).
    bool recoverDamaged = false;
    // Whether a drawing may be saved when it is closed. A run that never saves (a plot that does
    // not store its settings in the drawings, a listing) reads drawings without keeping their
    // bytes for a byte-exact save, which takes the file's size off its peak memory; closing one
    // with a save then fails.
    bool saveDrawings = true;
    // Keep every byte of a drawing read even when it is not saved: the drawings of single frames
    // (plot jobs with `excerpt`) are written from them, DWG drawings' converted DXF included.
    bool keepDrawingBytes = false;
};

// The folder of the running executable ("." when the system does not say).
std::string RunningProgramFolder();

// Where the built-in CAD looks for plot style table files: the options' folders, then PlotStyles
// in the program's folder (and in an installed program's data folder).
std::vector<std::string> StyleFolders(const BuiltinOptions& options);

class ApplicationState;

// The application object, with what the built-in CAD offers beyond the host's object model.
class BuiltinApplication : public CadApplication {
public:
    explicit BuiltinApplication(BuiltinOptions options);
    ~BuiltinApplication() override;

    void PutVisible(bool visible) override;
    std::shared_ptr<CadDocument> ActiveDocument() override;
    std::shared_ptr<CadDocuments> Documents() override;
    std::string Caption() override;
    std::string FullName() override;

    bool Visible() const;
    // A system variable set from the command line (BACKGROUNDPLOT, ...); -1 when unknown.
    int Variable(const std::string& name) const;
    // What the command line has shown: prompts and answers to commands, one entry each.
    std::vector<std::string> CommandLine() const;
    std::size_t DocumentCount() const;
    // The model of the active drawing (null when none is open) and its path, or its name when it
    // has never been saved. Valid until the drawing is closed.
    std::pair<const drawing::Document*, std::string> ActiveDrawing() const;
    // The fonts drawn with another since the last call ("gbenor.shx → Noto Sans CJK SC（按 SHX
    // 字宽）"), each font once per application.
    std::vector<std::string> TakeFontSubstitutions();

private:
    std::shared_ptr<ApplicationState> m_state;
};

// The model of a drawing the built-in CAD has open, so that what reads it further (automatic
// frames) need not read the file again; null for a document of another CAD. CadError once the
// drawing is closed. Valid until then.
const drawing::Document* DrawingOf(CadDocument& document);

// BuiltinApplication::TakeFontSubstitutions of the built-in CAD; nothing for another CAD.
std::vector<std::string> TakeFontSubstitutions(CadApplication& application);

// The backend the program's wiring hands to CadSession. One application per backend: Start makes
// it, Attach finds it (CadError when none was started).
class BuiltinBackend : public CadBackend {
public:
    explicit BuiltinBackend(BuiltinOptions options) : m_options(std::move(options)) {}

    std::shared_ptr<CadApplication> Attach() override;
    std::shared_ptr<CadApplication> Start() override;
    std::shared_ptr<BuiltinApplication> Application() const { return m_application; }

private:
    BuiltinOptions m_options;
    std::shared_ptr<BuiltinApplication> m_application;
};

} // namespace kw::builtin
