#include "builtin/plot_devices.h"

#include "base/characters.h"
#include "base/paths.h"
#include "base/program_files.h"
#include "builtin/builtin_cad.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <system_error>

namespace kw::builtin {
namespace {

bool SameIgnoringCase(const std::string& a, const std::string& b) {
    auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; };
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [&](char x, char y) { return lower(x) == lower(y); });
}

// Print systems round sheet sizes to whole points; a millimetre is close enough.
bool SameSheet(const sheets::Paper& paper, const std::pair<double, double>& sheet) {
    auto near = [](double a, double b) { return std::abs(a - b) <= 1.0; };
    return (near(paper.widthMm, sheet.first) && near(paper.heightMm, sheet.second)) ||
           (near(paper.widthMm, sheet.second) && near(paper.heightMm, sheet.first));
}


} // namespace

std::vector<std::string> StyleFolders(const BuiltinOptions& options) {
    std::vector<std::string> folders = options.styleFolders;
    for (const std::string& program : ProgramFileFolders(options.programFolder)) {
        folders.push_back(program + "/" + kStyleFolderName);
    }
    return folders;
}

std::vector<StyleTable> StyleTableFiles(const std::vector<std::string>& folders) {
    namespace fs = std::filesystem;
    std::vector<StyleTable> files;
    for (const std::string& folder : folders) {
        std::vector<StyleTable> found;
        std::error_code error;
        fs::directory_iterator entries(PathFromUtf8(folder), error);
        for (; !error && entries != fs::directory_iterator(); entries.increment(error)) {
            const fs::path& path = entries->path();
            const std::string extension = AsciiLower(Utf8FromPath(path.extension()));
            if ((extension != ".ctb" && extension != ".stb") || !entries->is_regular_file(error))
                continue;
            StyleTable table{Utf8FromPath(path.filename()),
                             extension == ".ctb" ? StyleTableKind::ColorDependent
                                                 : StyleTableKind::Named,
                             Utf8FromPath(path)};
            const bool known = std::any_of(files.begin(), files.end(), [&](const StyleTable& t) {
                return SameIgnoringCase(t.name, table.name);
            });
            if (!known)
                found.push_back(std::move(table));
        }
        files.insert(files.end(), found.begin(), found.end());
    }
    std::sort(files.begin(), files.end(), [](const StyleTable& a, const StyleTable& b) {
        return AsciiLower(a.name) < AsciiLower(b.name);
    });
    return files;
}

std::vector<StyleTable> AllStyleTables(const std::vector<std::string>& folders) {
    std::vector<StyleTable> tables = AllStyleTables();
    for (StyleTable& file : StyleTableFiles(folders)) {
        const auto builtIn = std::find_if(tables.begin(), tables.end(), [&](const StyleTable& t) {
            return t.path.empty() && SameIgnoringCase(t.name, file.name);
        });
        if (builtIn != tables.end())
            *builtIn = std::move(file);
        else
            tables.push_back(std::move(file));
    }
    return tables;
}

std::optional<StyleTable> FindStyleTable(const std::string& name,
                                         const std::vector<std::string>& folders) {
    for (StyleTable& table : AllStyleTables(folders)) {
        if (SameIgnoringCase(table.name, name)) {
            return table;
        }
    }
    return std::nullopt;
}

const std::vector<StyleTable>& AllStyleTables() {
    static const std::vector<StyleTable> tables = {
        {"acad.ctb", StyleTableKind::ColorDependent, {}},
        {"acad.stb", StyleTableKind::Named, {}},
        {"grayscale.ctb", StyleTableKind::ColorDependent, {}},
        {"monochrome.ctb", StyleTableKind::ColorDependent, {}},
        {"monochrome.stb", StyleTableKind::Named, {}},
    };
    return tables;
}

std::optional<StyleTable> FindStyleTable(const std::string& name) {
    for (const StyleTable& table : AllStyleTables()) {
        if (SameIgnoringCase(table.name, name)) {
            return table;
        }
    }
    return std::nullopt;
}

void DeviceCatalog::Refresh() {
    m_printers = m_source ? m_source() : std::vector<SystemPrinter>{};
    // A printer named like the PDF device would be unreachable; the PDF device wins.
    std::erase_if(m_printers, [](const SystemPrinter& p) { return p.name == kPdfDevice; });
    m_loaded = true;
}

const std::vector<SystemPrinter>& DeviceCatalog::Printers() {
    if (!m_loaded) {
        Refresh();
    }
    return m_printers;
}

std::vector<std::string> DeviceCatalog::DeviceNames() {
    std::vector<std::string> names{kPdfDevice};
    for (const SystemPrinter& printer : Printers()) {
        names.push_back(printer.name);
    }
    return names;
}

bool DeviceCatalog::HasDevice(const std::string& name) {
    if (name == kPdfDevice) {
        return true;
    }
    const auto& printers = Printers();
    return std::any_of(printers.begin(), printers.end(),
                       [&](const SystemPrinter& p) { return p.name == name; });
}

std::vector<sheets::Paper> DeviceCatalog::Papers(const std::string& deviceName) {
    const auto& printers = Printers();
    const auto printer = std::find_if(printers.begin(), printers.end(),
                                      [&](const SystemPrinter& p) { return p.name == deviceName; });
    if (printer == printers.end() || printer->sheetsMm.empty()) {
        return sheets::AllPapers();
    }
    std::vector<sheets::Paper> papers;
    for (const sheets::Paper& paper : sheets::AllPapers()) {
        if (std::any_of(printer->sheetsMm.begin(), printer->sheetsMm.end(),
                        [&](const auto& sheet) { return SameSheet(paper, sheet); })) {
            papers.push_back(paper);
        }
    }
    return papers.empty() ? sheets::AllPapers() : papers;
}

} // namespace kw::builtin
