#pragma once

// Recording stand-ins for the main window: they keep what a command did to the windows.

#include <set>
#include <string>
#include <vector>

#include "cad/catalogs.h"
#include "engine/run_host.h"

namespace kw::test {

class RecordingRunHost : public RunHost {
public:
    PlotSettings settings;
    DrawingList drawings{TextCollator("en_US")}; // sorted alike on every machine
    PrinterTable printers;
    PaperTable papers;
    std::set<std::string> windowTitles; // windows BringWindowToFront can find
    bool anyTitle = true;               // every title is found when true

    // What the command did, in order: "ShowMain", "HideMain", "ShowProgress", "Label1=...",
    // "Label3=<time>", "Label5=<time>", "Repaint", "Front=<title>", "Error=<text>".
    std::vector<std::string> events;
    bool mainVisible = true;
    bool progressVisible = false;
    bool progressLoaded = false;
    std::string label1, label3, label5;
    std::vector<std::string> errors;
    int clock = 0; // times of day are "10:00:00", "10:00:01", ...

    PlotSettings Settings() override { return settings; }
    DrawingList& Drawings() override { return drawings; }
    PrinterTable& Printers() override { return printers; }
    const PaperTable& Papers() override { return papers; }
    void ShowMainWindow() override;
    void HideMainWindow() override;
    void ShowProgress() override;
    void SetProgressLabel(ProgressLabel label, const std::string& text) override;
    void RepaintProgress() override { events.push_back("Repaint"); }
    void BringWindowToFront(const std::string& title) override;
    void ShowError(const std::string& text) override;
    std::string TimeOfDay() override;

    // The user double-clicks the progress window: it closes and the main window comes back.
    void CloseProgress();
    // The Label1 texts in the order they were written.
    std::vector<std::string> StatusTexts() const;

private:
    void LoadProgress();
};

class RecordingCatalogView : public CatalogView {
public:
    std::vector<std::string> printers, papers, styleTables;
    std::string printerText;
    bool runCommandsEnabled = false;
    std::string offsetX = "5", offsetY = "25";
    bool portrait = false;
    std::vector<std::string> errors;

    void ClearList(CatalogList list) override { ListOf(list).clear(); }
    void AddToList(CatalogList list, const std::string& name) override {
        ListOf(list).push_back(name);
    }
    std::string PrinterText() override { return printerText; }
    void EnableRunCommands() override { runCommandsEnabled = true; }
    void SetOffsets(const std::string& x, const std::string& y) override {
        offsetX = x;
        offsetY = y;
    }
    void SetPortrait(bool value) override { portrait = value; }
    void ShowError(const std::string& text) override { errors.push_back(text); }

private:
    std::vector<std::string>& ListOf(CatalogList list) {
        return list == CatalogList::Printers ? printers
               : list == CatalogList::Papers ? papers
                                             : styleTables;
    }
};

} // namespace kw::test
