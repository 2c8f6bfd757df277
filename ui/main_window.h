#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QWidget>
#include <functional>

#include "cad/cad_session.h"
#include "cad/catalogs.h"
#include "engine/plot_run.h"
#include "engine/run_host.h"
#include "output/output_run.h"
#include "settings/drawing_list.h"
#include "settings/settings_file.h"
#include "ui/drawing_list_box.h"
#include "ui/progress_window.h"

namespace kw::ui {

class Prompts;
class Shell;

// What the main window is given by the program's wiring.
struct MainWindowServices {
    CadSession& session;
    Prompts& prompts;
    Shell& shell;
    QString programFolder;
    // Shows the two promotional windows; a failure is a failure of the start-up.
    std::function<void()> showPromotions;
    // What the CAD offers the output options (the drawing's model for title-block fields, the
    // PDF device's page names); null where it offers nothing, and paper and scale alone apply.
    std::shared_ptr<output::OutputLink> output = nullptr;
};

// The main window (object name "plotfrm", the name it is published by, as are its controls'): the
// settings panel, the drawing list and the commands. Its controls are the live store of every
// setting; the runs read them through RunHost, the catalog commands fill
// them through CatalogView.
class MainWindow : public QWidget, public RunHost, public CatalogView {
    Q_OBJECT
public:
    explicit MainWindow(MainWindowServices services);
    ~MainWindow() override;

    // RunHost
    PlotSettings Settings() override;
    DrawingList& Drawings() override { return m_drawings; }
    PrinterTable& Printers() override { return m_printers; }
    const PaperTable& Papers() override { return m_papers; }
    void ShowMainWindow() override;
    void HideMainWindow() override;
    void ShowProgress() override;
    void SetProgressLabel(ProgressLabel label, const std::string& text) override;
    void RepaintProgress() override;
    void BringWindowToFront(const std::string& title) override;
    void ShowError(const std::string& text) override;
    std::string TimeOfDay() override;

    // CatalogView
    void ClearList(CatalogList list) override;
    void AddToList(CatalogList list, const std::string& name) override;
    std::string PrinterText() override;
    void EnableRunCommands() override;
    void SetOffsets(const std::string& offsetX, const std::string& offsetY) override;
    void SetPortrait(bool portrait) override;

    // The progress window while it is open, else null.
    ProgressWindow* Progress() const { return m_progress; }
    const QString& HelpFile() const { return m_helpFile; }
    // The output options window, from the drawing list's context menu or the system menu.
    void OpenOutputOptions();
    output::OutputOptions OutputOptions() const;

    QGroupBox* Frame1;
    DrawingListBox* List2;
    QPushButton* xpcmdbutton5;
    QPushButton* xpcmdbutton7;
    QPushButton* xpcmdbutton6;
    QPushButton* xpcmdbutton8;
    QPushButton* xpcmdbutton9;
    QGroupBox* Frame8;
    QRadioButton* Option2;
    QRadioButton* Option1;
    QRadioButton* Option3;
    QGroupBox* Frame9;
    QRadioButton* Option6;
    QRadioButton* Option7;
    QGroupBox* Frame2;
    QLabel* Label33;
    QComboBox* Combo1;
    QLabel* Label39;
    QComboBox* Combo2;
    QLabel* Label36;
    QComboBox* Combo3;
    QGroupBox* Frame3;
    QRadioButton* Option4;
    QRadioButton* Option5;
    QCheckBox* Check5;
    QGroupBox* Frame7;
    QLabel* Label46;
    QLineEdit* Text42;
    QGroupBox* Frame10;
    QRadioButton* Option9;
    QLineEdit* Text1;
    QRadioButton* Option10;
    QLineEdit* Text3;
    QRadioButton* Option8;
    QLineEdit* Text4;
    QGroupBox* Frame4;
    QLabel* Label40;
    QLineEdit* Text32;
    QLabel* Label2;
    QLineEdit* Text2;
    QGroupBox* Frame5;
    QCheckBox* Check6;
    QLabel* Label35;
    QLineEdit* Text34;
    QLabel* Label34;
    QLineEdit* Text33;
    QGroupBox* Frame6;
    QCheckBox* Check7;
    QCheckBox* Check8;
    QCheckBox* Check9;
    QPushButton* Command7;
    QPushButton* xpcmdbutton1;
    QPushButton* Command5;
    QPushButton* xpcmdbutton2;
    QPushButton* xpcmdbutton4;
    QPushButton* xpcmdbutton3;

private:
    // The window the program's message boxes are owned by: the progress window while it is
    // shown, else the main window.
    QWidget* MessageOwner();
    void BuildControls();
    void ConnectHandlers();
    void Form_Load();
    void ApplyStoredSettings(const StoredSettings& values);
    // A file of the program: beside it, or in an installed program's data folder.
    QString ProgramFile(const char* name) const;

    void Option1_Click();
    void Option2_Click();
    void Option3_Click();
    void Check6_Click();
    void Check8_Click();
    void SetListGroupEnabled(bool enabled);

    void List2_DblClick();
    void List2_MouseMove(int y);
    void List2_OLEDragDrop(const QStringList& paths);
    void List2_SelectionChanged();
    void SyncListFromModel();

    void xpcmdbutton5_Click();
    void xpcmdbutton6_Click();
    void xpcmdbutton7_Click();
    void xpcmdbutton8_Click();
    void xpcmdbutton9_Click();
    void Command7_Click();
    void Combo1_Click();
    void Command5_Click();
    void xpcmdbutton1_Click();
    void xpcmdbutton2_Click();
    void xpcmdbutton4_Click();
    void xpcmdbutton3_Click();
    void AfterRun();
    void List2_ContextMenu(const QPoint& position);
    // The output of the run about to start, or null when the options ask for nothing more.
    std::unique_ptr<output::OutputRun> StartOutput();
    void FinishOutput(std::unique_ptr<output::OutputRun> run, bool plotted);
    // Tells the user which fonts the run drew with others, once per font.
    void ReportFontSubstitutions();
#ifdef _WIN32
    bool nativeEvent(const QByteArray& eventType, void* message, qintptr* result) override;
#endif

    QComboBox* Combo(CatalogList list) const;
    ProgressWindow* LoadedProgress();

    CadSession& m_session;
    Prompts& m_prompts;
    Shell& m_shell;
    QString m_programFolder;
    std::function<void()> m_showPromotions;

    SettingsFile m_settingsFile;
    PrinterTable m_printers;
    PaperTable m_papers;
    DrawingList m_drawings;
    PlotRunner m_runner;
    QString m_helpFile;
    // The file name CommonDialog4 opens with: the one last chosen for saving or reading a list.
    QString m_listFileName;
    QPointer<ProgressWindow> m_progress;
    bool m_syncingList = false;
    std::shared_ptr<output::OutputLink> m_output;
    bool m_runFailed = false;
};

} // namespace kw::ui
