#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "cad/plot_job.h"
#include "sheets/papers.h"

namespace kw::builtin {

// Whether this build writes pages in the format (TIFF needs libtiff, SVG Qt SVG).
bool Writes(const PageFormat& format);


// The device that writes every plotted page to a PDF file.
inline constexpr const char* kPdfDevice = "Kestrelwick PDF";

// A printer of the system, as the print system describes it.
struct SystemPrinter {
    std::string name;
    // Sheets the printer takes, width and height in millimetres; empty when it does not say.
    std::vector<std::pair<double, double>> sheetsMm;
};

// Lists the system's printers. The desktop and the command use the print system (Qt); tests
// hand in their own.
using SystemPrinterSource = std::function<std::vector<SystemPrinter>()>;

// The printers the print system knows of, through Qt PrintSupport (empty without Qt).
std::vector<SystemPrinter> QtSystemPrinters();

// How a plot style table maps colours; a drawing takes only tables of its own kind.
enum class StyleTableKind { ColorDependent, Named };

struct StyleTable {
    std::string name;
    StyleTableKind kind = StyleTableKind::ColorDependent;
    std::string path; // the table's file; empty for a built-in table
};

// The folder beside the program where users keep their plot style table files.
inline constexpr const char* kStyleFolderName = "PlotStyles";

// The built-in plot style tables, in the order the list shows them.
const std::vector<StyleTable>& AllStyleTables();
// The built-in table of a name, letter case ignored.
std::optional<StyleTable> FindStyleTable(const std::string& name);

// The .ctb and .stb files of the folders (not their subfolders), by name, letter case ignored; a
// name met in an earlier folder hides the same name in later ones. Missing folders are skipped.
std::vector<StyleTable> StyleTableFiles(const std::vector<std::string>& folders);
// What the list offers: the built-in tables, a file named like one in its place, then the other
// files.
std::vector<StyleTable> AllStyleTables(const std::vector<std::string>& folders);
// The table of a name among those, letter case ignored.
std::optional<StyleTable> FindStyleTable(const std::string& name,
                                         const std::vector<std::string>& folders);

// The devices, and the papers of each, as the layouts of one application see them. The system's
// printers are read when first needed and again on every Refresh, so that a printer added
// meanwhile appears; listing frames never asks the print system.
class DeviceCatalog {
public:
    explicit DeviceCatalog(SystemPrinterSource source) : m_source(std::move(source)) {}

    void Refresh();
    // The PDF device first, then the system's printers in the print system's order.
    std::vector<std::string> DeviceNames();
    bool HasDevice(const std::string& name);
    // The papers a device takes, landscape and portrait of each; every paper for the PDF device
    // and for a device that names no sheets or none of ours. An unknown device has the PDF
    // device's papers, so that a drawing from another machine still shows a paper list.
    std::vector<sheets::Paper> Papers(const std::string& deviceName);

private:
    const std::vector<SystemPrinter>& Printers();

    SystemPrinterSource m_source;
    std::vector<SystemPrinter> m_printers;
    bool m_loaded = false;
};

} // namespace kw::builtin
