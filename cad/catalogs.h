#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cad/cad_session.h"
#include "settings/settings_file.h"

namespace kw {

struct PaperEntry {
    std::string canonicalName; // what the CAD application takes
    std::string displayName;   // what the paper list shows
};

// The papers of the chosen printer, numbered from 1. Only Choose printer writes it.
class PaperTable {
public:
    static constexpr int kCapacity = 2000;

    // Stores entry `position` (1-based); Error 9 beyond the capacity.
    void Store(int position, PaperEntry entry);
    const PaperEntry& Entry(int position) const; // Error 9 outside 1..stored entries
    std::int16_t PaperCount() const { return m_paperCount; }
    void SetPaperCount(std::int16_t count) { m_paperCount = count; }

    // The canonical name of the first entry 1..paperCount whose display name equals the text
    // (letter case significant). A text that matches none is passed on as it is: after Get
    // printer list the paper list holds canonical names, which the CAD application takes.
    std::string CanonicalName(const std::string& paperText) const;

private:
    std::vector<PaperEntry> m_entries;
    std::int16_t m_paperCount = 0;
};

enum class CatalogList { Printers, Papers, StyleTables };

// What the catalog commands need of the main window.
class CatalogView {
public:
    virtual ~CatalogView() = default;
    // Empties a list's entries; its edit text stays.
    virtual void ClearList(CatalogList list) = 0;
    virtual void AddToList(CatalogList list, const std::string& name) = 0;
    virtual std::string PrinterText() = 0;
    // Enables the plot and the preview commands.
    virtual void EnableRunCommands() = 0;
    virtual void SetOffsets(const std::string& offsetX, const std::string& offsetY) = 0;
    virtual void SetPortrait(bool portrait) = 0;
    // The error message box: critical icon, OK, caption "错误".
    virtual void ShowError(const std::string& text) = 0;
};

// Fills the printer, paper and style-table lists from the current drawing, enables the runs and
// switches background plotting off. With no usable drawing it adds a new one and tries once more;
// a failure there is swallowed so that it never ends the program.
void GetPrinterList(CadSession& session, CatalogView& view);

// Makes the printer list's text the current device, refills the paper list with display names
// into `papers`, and applies the printer's stored offsets and orientation.
void ChoosePrinter(CadSession& session, CatalogView& view, PaperTable& papers,
                   const PrinterTable& printers);

} // namespace kw
