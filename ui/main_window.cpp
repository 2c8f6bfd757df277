#include "ui/main_window.h"

#include <QCoreApplication>
#include <QDir>
#include <QLocale>
#include <QMenu>
#include <QTime>

#include <filesystem>
#include <iostream>

#include "base/error.h"
#include "base/paths.h"
#include "base/version.h"
#include "base/program_files.h"
#include "cad/messages.h"
#include "settings/list_file.h"
#include "ui/about_window.h"
#include "ui/maker.h"
#include "ui/output_options_window.h"
#include "ui/platform/desktop.h"
#include "ui/prompts.h"
#include "ui/twips.h"
#ifdef _WIN32
#include <QTimer>

#include "ui/platform/win32_services.h"
#endif

namespace kw::ui {

namespace {

#ifdef _WIN32
// The system menu's item for the output options (a multiple of 16, below the system's own).
constexpr unsigned kOutputOptionsCommand = 0x0110;
#endif

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}
std::string S(const QString& text) {
    return text.toStdString();
}

template <typename Control>
Control* Make(QWidget* parent, const char* name, const char* caption, double left, double top,
              double width, double height) {
    auto* control = new Control(parent);
    control->setObjectName(QString::fromLatin1(name));
    if constexpr (std::is_same_v<Control, QGroupBox>) {
        control->setTitle(QString::fromUtf8(caption));
    } else if constexpr (std::is_same_v<Control, QLineEdit>) {
        control->setText(QString::fromUtf8(caption));
    } else if constexpr (!std::is_same_v<Control, QComboBox> &&
                         !std::is_same_v<Control, DrawingListBox>) {
        control->setText(QString::fromUtf8(caption));
    }
    PlaceTwips(control, left, top, width, height);
    return control;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const char* caption, double left,
                        double top, double width) {
    auto* button = Make<QPushButton>(parent, name, caption, left, top, width, 375);
    button->setFont(ButtonFont());
    button->setAutoDefault(false);
    return button;
}

QComboBox* MakeCombo(QWidget* parent, const char* name, double left, double top) {
    auto* combo = Make<QComboBox>(parent, name, "", left, top, 3255, 300);
    combo->setEditable(true);
    // Typed text is the setting as it stands; it never becomes an entry of the list.
    combo->setInsertPolicy(QComboBox::NoInsert);
    return combo;
}

} // namespace

MainWindow::MainWindow(MainWindowServices services)
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                           Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      m_session(services.session), m_prompts(services.prompts), m_shell(services.shell),
      m_programFolder(services.programFolder), m_showPromotions(std::move(services.showPromotions)),
      m_settingsFile(SettingsFile::Locate(S(QDir::toNativeSeparators(services.programFolder)),
                                          UserConfigFolder())),
      m_runner(services.session, *this, m_settingsFile), m_output(std::move(services.output)) {
    setObjectName(QStringLiteral("plotfrm"));
    setWindowTitle(QStringLiteral("%1 V%2.%3")
                       .arg(QString::fromUtf8(maker::kProgramName))
                       .arg(kVersionMajor)
                       .arg(kVersionMinor));
    setWindowIcon(ProgramIcon());
    setFixedSize(TwipsRect(0, 0, 8310, 8100).size());
    BuildControls();
    ConnectHandlers();
    Form_Load();
}

MainWindow::~MainWindow() {
    if (m_progress != nullptr) {
        delete m_progress.data();
    }
}

void MainWindow::BuildControls() {
    Frame1 = Make<QGroupBox>(this, "Frame1", "初始化文件", 120, 120, 8055, 2895);
    Frame1->setToolTip(QString::fromUtf8(kListTipInitial));
    List2 = Make<DrawingListBox>(Frame1, "List2", "", 120, 240, 7755, 1860);
    List2->setToolTip(QString::fromUtf8(kListTipInitial));
    xpcmdbutton5 = MakeButton(Frame1, "xpcmdbutton5", "  添加文件", 360, 2340, 1215);
    xpcmdbutton5->setToolTip(QStringLiteral("支持资源管理器拖放文件！"));
    xpcmdbutton7 = MakeButton(Frame1, "xpcmdbutton7", "  删除选择", 1890, 2340, 1215);
    xpcmdbutton6 = MakeButton(Frame1, "xpcmdbutton6", "  删除全部", 3420, 2340, 1215);
    xpcmdbutton8 = MakeButton(Frame1, "xpcmdbutton8", "  保存列表", 4950, 2340, 1215);
    xpcmdbutton9 = MakeButton(Frame1, "xpcmdbutton9", "  读取列表", 6480, 2340, 1215);

    Frame8 = Make<QGroupBox>(this, "Frame8", "是否多文档", 120, 3120, 4695, 735);
    Option2 = Make<QRadioButton>(Frame8, "Option2", "选择文件", 360, 350, 1215, 255);
    Option1 = Make<QRadioButton>(Frame8, "Option1", "当前图形", 1680, 350, 1095, 255);
    Option3 = Make<QRadioButton>(Frame8, "Option3", "当前图形局部", 3000, 360, 1455, 255);
    Option2->setChecked(true);

    Frame9 = Make<QGroupBox>(this, "Frame9", "打印顺序（从左往右）", 4920, 3120, 3255, 735);
    Option6 = Make<QRadioButton>(Frame9, "Option6", "从上往下", 480, 350, 1935, 255);
    Option7 = Make<QRadioButton>(Frame9, "Option7", "从下往上", 1800, 350, 1215, 255);
    Option6->setChecked(true);

    Frame2 = Make<QGroupBox>(this, "Frame2", "打印机", 120, 3960, 4695, 1455);
    Label33 = Make<QLabel>(Frame2, "Label33", "打印机名称", 240, 255, 975, 255);
    Combo1 = MakeCombo(Frame2, "Combo1", 1320, 240);
    Label39 = Make<QLabel>(Frame2, "Label39", "图纸尺寸", 480, 615, 735, 255);
    Combo2 = MakeCombo(Frame2, "Combo2", 1320, 600);
    Label36 = Make<QLabel>(Frame2, "Label36", "样式表名称", 240, 1020, 975, 255);
    Combo3 = MakeCombo(Frame2, "Combo3", 1320, 960);

    Frame3 = Make<QGroupBox>(this, "Frame3", "图纸方向", 4920, 3960, 3255, 735);
    Option4 = Make<QRadioButton>(Frame3, "Option4", "纵 向", 120, 350, 855, 255);
    Option5 = Make<QRadioButton>(Frame3, "Option5", "横 向", 1080, 350, 855, 255);
    Check5 = Make<QCheckBox>(Frame3, "Check5", "反向打印", 1920, 360, 1095, 255);
    Option5->setChecked(true);

    Frame7 = Make<QGroupBox>(this, "Frame7", "份数", 4920, 4800, 3255, 615);
    Label46 = Make<QLabel>(Frame7, "Label46", "打印份数", 600, 240, 855, 255);
    Text42 = Make<QLineEdit>(Frame7, "Text42", "1", 1560, 240, 855, 270);

    Frame10 = Make<QGroupBox>(this, "Frame10", "图框类型", 120, 5520, 3135, 1455);
    Option9 = Make<QRadioButton>(Frame10, "Option9", "多段线，图层", 240, 360, 1515, 255);
    Text1 = Make<QLineEdit>(Frame10, "Text1", "图框", 1920, 360, 1095, 270);
    Option10 = Make<QRadioButton>(Frame10, "Option10", "块参照，名称", 240, 720, 1455, 255);
    Text3 = Make<QLineEdit>(Frame10, "Text3", "RmTK", 1920, 720, 1095, 270);
    Option8 = Make<QRadioButton>(Frame10, "Option8", "外部参照，名称", 240, 1080, 1575, 255);
    Text4 = Make<QLineEdit>(Frame10, "Text4", "tk_xref", 1920, 1080, 1095, 270);
    Option9->setChecked(true);

    Frame4 = Make<QGroupBox>(this, "Frame4", "图框大小", 3360, 5520, 2655, 1455);
    Label40 = Make<QLabel>(Frame4, "Label40", "标准图框打印长度", 240, 495, 1575, 255);
    Text32 = Make<QLineEdit>(Frame4, "Text32", "380", 1800, 480, 735, 270);
    Label2 = Make<QLabel>(Frame4, "Label2", "图框点坐标附加值", 240, 960, 1575, 240);
    Text2 = Make<QLineEdit>(Frame4, "Text2", "0", 1800, 960, 735, 270);

    Frame5 = Make<QGroupBox>(this, "Frame5", "打印偏移", 6120, 5520, 2055, 1455);
    Check6 = Make<QCheckBox>(Frame5, "Check6", "居中打印", 240, 360, 1095, 255);
    Label35 = Make<QLabel>(Frame5, "Label35", "打印偏距X", 240, 720, 855, 255);
    Text34 = Make<QLineEdit>(Frame5, "Text34", "5", 1200, 705, 735, 270);
    Label34 = Make<QLabel>(Frame5, "Label34", "打印偏距Y", 240, 1080, 855, 255);
    Text33 = Make<QLineEdit>(Frame5, "Text33", "25", 1200, 1080, 735, 270);

    // Lies beyond the right edge of the client area: never seen, but Tab still reaches it.
    Frame6 = Make<QGroupBox>(this, "Frame6", "打印选项", 8520, 5640, 2295, 1335);
    Check7 = Make<QCheckBox>(Frame6, "Check7", "打印对象线宽", 480, 240, 1575, 255);
    Check8 = Make<QCheckBox>(Frame6, "Check8", "打印样式 ", 480, 600, 1095, 255);
    Check9 = Make<QCheckBox>(Frame6, "Check9", "隐藏对象", 480, 960, 1095, 255);
    Check7->setChecked(true);
    Check7->setEnabled(false);
    Check8->setChecked(true);

    Command7 = MakeButton(this, "Command7", "  获取打印机列表", 720, 7080, 1575);
    xpcmdbutton1 = MakeButton(this, "xpcmdbutton1", "  预 览", 3360, 7080, 1575);
    Command5 = MakeButton(this, "Command5", "  批量打印", 6000, 7080, 1575);
    xpcmdbutton2 = MakeButton(this, "xpcmdbutton2", "  更多软件", 720, 7560, 1575);
    xpcmdbutton4 = MakeButton(this, "xpcmdbutton4", "  帮 助", 3360, 7560, 1575);
    xpcmdbutton3 = MakeButton(this, "xpcmdbutton3", "  退 出", 6000, 7560, 1575);
    xpcmdbutton1->setEnabled(false);
    Command5->setEnabled(false);
}

void MainWindow::ConnectHandlers() {
    connect(Option1, &QRadioButton::toggled, this, [this](bool on) {
        if (on) {
            Option1_Click();
        }
    });
    connect(Option2, &QRadioButton::toggled, this, [this](bool on) {
        if (on) {
            Option2_Click();
        }
    });
    connect(Option3, &QRadioButton::toggled, this, [this](bool on) {
        if (on) {
            Option3_Click();
        }
    });
    connect(Check6, &QCheckBox::clicked, this, [this] { Check6_Click(); });
    connect(Check8, &QCheckBox::clicked, this, [this] { Check8_Click(); });
    connect(Combo1, &QComboBox::activated, this, [this] { Combo1_Click(); });

    connect(List2, &DrawingListBox::DoubleClicked, this, [this] { List2_DblClick(); });
    connect(List2, &DrawingListBox::PointerMoved, this, [this](int y) { List2_MouseMove(y); });
    connect(List2, &DrawingListBox::FilesDropped, this,
            [this](const QStringList& paths) { List2_OLEDragDrop(paths); });
    connect(List2, &QListWidget::itemSelectionChanged, this, [this] { List2_SelectionChanged(); });
    List2->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(List2, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& position) { List2_ContextMenu(position); });
#ifdef _WIN32
    win32::AddSystemMenuItem(reinterpret_cast<win32::WindowHandle>(winId()), kOutputOptionsCommand,
                             "输出选项...");
#endif

    const std::pair<QPushButton*, void (MainWindow::*)()> buttons[] = {
        {xpcmdbutton5, &MainWindow::xpcmdbutton5_Click}, {xpcmdbutton6, &MainWindow::xpcmdbutton6_Click},
        {xpcmdbutton7, &MainWindow::xpcmdbutton7_Click}, {xpcmdbutton8, &MainWindow::xpcmdbutton8_Click},
        {xpcmdbutton9, &MainWindow::xpcmdbutton9_Click}, {Command7, &MainWindow::Command7_Click},
        {Command5, &MainWindow::Command5_Click},         {xpcmdbutton1, &MainWindow::xpcmdbutton1_Click},
        {xpcmdbutton2, &MainWindow::xpcmdbutton2_Click}, {xpcmdbutton4, &MainWindow::xpcmdbutton4_Click},
        {xpcmdbutton3, &MainWindow::xpcmdbutton3_Click},
    };
    for (const auto& [button, handler] : buttons) {
        connect(button, &QPushButton::clicked, this,
                [this, handler = handler] { (this->*handler)(); });
    }
}

QString MainWindow::ProgramFile(const char* name) const {
    return Q(ProgramFilePath(S(QDir::toNativeSeparators(m_programFolder)), name));
}

void MainWindow::Form_Load() {
    // Any failure of these steps leaves the five boxes at their defaults, silently; the window
    // is shown all the same.
    try {
        if (m_showPromotions) {
            m_showPromotions();
        }
        m_helpFile = ProgramFile("Kestrelwick.chm");
        CenterForm(this);
        StoredSettings values;
        if (!m_settingsFile.Read(values, m_printers)) {
            values = StoredSettings{};
        }
        ApplyStoredSettings(values);
    } catch (...) {
        ApplyStoredSettings(StoredSettings{});
    }
}

void MainWindow::ApplyStoredSettings(const StoredSettings& values) {
    Text32->setText(Q(values.frameLength));
    Text2->setText(Q(values.pointAllowance));
    Text1->setText(Q(values.frameLayer));
    Text3->setText(Q(values.blockName));
    Text4->setText(Q(values.xrefName));
}

// Panel rules: the run scope switches the drawing-list group, centring the offsets, plot styles
// the lineweights.

void MainWindow::SetListGroupEnabled(bool enabled) {
    // Each control is switched as well as its group, so that every one shows its own look.
    Frame1->setEnabled(enabled);
    xpcmdbutton5->setEnabled(enabled);
    xpcmdbutton6->setEnabled(enabled);
    xpcmdbutton7->setEnabled(enabled);
    xpcmdbutton8->setEnabled(enabled);
    xpcmdbutton9->setEnabled(enabled);
    List2->setEnabled(enabled);
}

void MainWindow::Option1_Click() {
    SetListGroupEnabled(false);
}
void MainWindow::Option2_Click() {
    SetListGroupEnabled(true);
}
void MainWindow::Option3_Click() {
    SetListGroupEnabled(false);
}

void MainWindow::Check6_Click() {
    const bool centred = Check6->checkState() == Qt::Checked;
    Text33->setEnabled(!centred);
    Text34->setEnabled(!centred);
}

void MainWindow::Check8_Click() {
    if (Check8->checkState() == Qt::Checked) {
        Check7->setChecked(true);
        Check7->setEnabled(false);
    } else {
        Check7->setEnabled(true);
    }
}

// The drawing list. DrawingList is the list; List2 shows it and hands its selection back.

void MainWindow::SyncListFromModel() {
    m_syncingList = true;
    List2->clear();
    QStringList entries;
    entries.reserve(m_drawings.Count());
    for (const std::string& entry : m_drawings.Entries()) {
        entries.append(Q(entry));
    }
    List2->addItems(entries);
    for (int i = 0; i < m_drawings.Count(); ++i) {
        if (m_drawings.IsSelected(i)) {
            List2->item(i)->setSelected(true);
        }
    }
    m_syncingList = false;
}

void MainWindow::List2_SelectionChanged() {
    if (m_syncingList) {
        return;
    }
    const int count = std::min(List2->count(), m_drawings.Count());
    for (int i = 0; i < count; ++i) {
        m_drawings.SetSelected(i, List2->item(i)->isSelected());
    }
}

void MainWindow::List2_DblClick() {
    List2_SelectionChanged();
    m_drawings.RemoveSelected();
    SyncListFromModel();
}

void MainWindow::List2_MouseMove(int y) {
    const QModelIndex top = List2->indexAt(QPoint(1, 1));
    m_drawings.SetTopIndex(top.isValid() ? top.row() : 0);
    // The height of one row as the list draws it; before the first entry, the font's line.
    const int rowPixels = List2->count() > 0 ? List2->visualItemRect(List2->item(0)).height() : 0;
    const int linePixels = rowPixels > 0 ? rowPixels : List2->fontMetrics().height();
    List2->setToolTip(Q(ListTip(m_drawings, ToTwipsY(y), ToTwipsY(linePixels))));
}

void MainWindow::List2_OLEDragDrop(const QStringList& paths) {
    std::vector<std::string> dropped;
    dropped.reserve(paths.size());
    for (const QString& path : paths) {
        dropped.push_back(S(path));
    }
    AddDropped(m_drawings, dropped);
    SyncListFromModel();
}

void MainWindow::xpcmdbutton5_Click() {
    const auto showDialog = [this]() -> std::optional<std::string> {
        const std::optional<QStringList> files =
            m_prompts.OpenFiles(this, QStringLiteral("Select File(s)..."),
                                DialogFilters("图形 (*.dwg)|*.dwg|图形 (*.dxf)|*.dxf"));
        if (!files) {
            return std::nullopt;
        }
        return DialogResultText(*files);
    };
    AddFromDialog(m_drawings, showDialog, [this](const std::string& text) { ShowError(text); });
    SyncListFromModel();
}

void MainWindow::xpcmdbutton6_Click() {
    m_drawings.ClearList();
    SyncListFromModel();
}

void MainWindow::xpcmdbutton7_Click() {
    List2_SelectionChanged();
    m_drawings.RemoveSelected();
    SyncListFromModel();
}

namespace {

ListFileUi ListFileDialogs(Prompts& prompts, QWidget* owner, FileDialogKind kind,
                           QString& fileName) {
    ListFileUi ui;
    ui.choosePath = [&prompts, owner, kind,
                     &fileName](const std::string& title) -> std::optional<std::string> {
        const std::optional<QString> chosen =
            prompts.ChooseFile(owner, kind, Q(title), DialogFilters(kListFileFilter), fileName);
        if (!chosen) {
            return std::nullopt;
        }
        fileName = *chosen;
        return S(QDir::toNativeSeparators(*chosen));
    };
    ui.showError = [&prompts, owner](const std::string& text) { prompts.Error(owner, Q(text)); };
    return ui;
}

} // namespace

void MainWindow::xpcmdbutton8_Click() {
    SaveListFile(m_drawings,
                 ListFileDialogs(m_prompts, this, FileDialogKind::Save, m_listFileName));
}

void MainWindow::xpcmdbutton9_Click() {
    LoadListFile(m_drawings,
                 ListFileDialogs(m_prompts, this, FileDialogKind::Open, m_listFileName));
    SyncListFromModel();
}

// Catalogs and runs: one call into the core each.

void MainWindow::Command7_Click() {
    GetPrinterList(m_session, *this);
}

void MainWindow::Combo1_Click() {
    ChoosePrinter(m_session, *this, m_papers, m_printers);
}

void MainWindow::Command5_Click() {
    auto output = StartOutput();
    m_runner.RunPlot();
    FinishOutput(std::move(output), true);
    ReportFontSubstitutions();
    AfterRun();
}

void MainWindow::xpcmdbutton1_Click() {
    auto output = StartOutput();
    m_runner.Preview();
    FinishOutput(std::move(output), false);
    AfterRun();
}

// The output options: their window, and what a run makes of them.

output::OutputOptions MainWindow::OutputOptions() const {
    return output::FromSection(m_settingsFile.OutputSection());
}

void MainWindow::List2_ContextMenu(const QPoint& position) {
    QMenu menu(List2);
    menu.setObjectName(QStringLiteral("List2Menu"));
    QAction* options = menu.addAction(QStringLiteral("输出选项..."));
    options->setObjectName(QStringLiteral("OutputOptions"));
    connect(options, &QAction::triggered, this, [this] { OpenOutputOptions(); });
    menu.exec(List2->viewport()->mapToGlobal(position));
}

void MainWindow::OpenOutputOptions() {
    OutputOptionsWindow window(OutputOptions(), this);
    if (window.exec() != QDialog::Accepted) {
        return;
    }
    m_settingsFile.SetOutputSection(output::ToSection(window.Options()));
    try {
        // A file not written yet gets the options with the first run's settings.
        m_settingsFile.WriteOutputSection();
    } catch (const Error& failure) {
        ShowError(MessageForError(failure.Number()));
    }
}

std::unique_ptr<output::OutputRun> MainWindow::StartOutput() {
    m_runFailed = false;
    const output::OutputOptions options = OutputOptions();
    // PDF files go beside each drawing, or to the folder of the output options.
    m_runner.SetPlotFolder(options.folder);
    try {
        m_runner.SetLayoutChoice(ParseLayoutChoice(options.layouts, options.wholeLayouts));
    } catch (const Error&) {
        m_runner.SetLayoutChoice({}); // a name list edited into nothing: the current layout
    }
    if (!options.Active()) {
        return nullptr;
    }
    if (!m_output && (!options.nameTemplate.empty() || options.merge != output::MergeMode::None ||
                      options.catalogueCsv || options.catalogueXlsx || options.cataloguePdf)) {
        // The host CAD plots to its own files and offers no drawing model to read fields from.
        m_prompts.Message(
            MessageOwner(), QString::fromUtf8(maker::kProgramName),
            QStringLiteral("这个 CAD 程序不支持按标题栏字段命名、合并 PDF 和图纸目录；"
                           "本次只按输出选项的图纸和比例打印。"));
    }
    output::OutputSetup setup;
    setup.options = options;
    const PlotSettings settings = Settings();
    setup.panelPaper = m_papers.CanonicalName(settings.paperName);
    try {
        const std::string folder = Utf8FromPath(PathFromUtf8(m_settingsFile.Path()).parent_path());
        setup.fields = output::LoadFieldDefinitions(folder);
        if (m_output) {
            setup.activeDrawing = m_output->activeDrawing;
            setup.deviceTakesAnySheet =
                m_output->takesAnySheet && m_output->takesAnySheet(settings.printerName);
        }
        auto run = std::make_unique<output::OutputRun>(std::move(setup));
        m_runner.SetFrameHook(run.get());
        return run;
    } catch (const Error& failure) {
        // The run goes on by the main window's settings alone; the user learns why.
        m_prompts.Error(MessageOwner(), Q(failure.Description()));
        return nullptr;
    }
}

#ifdef _WIN32
bool MainWindow::nativeEvent(const QByteArray& eventType, void* message, qintptr* result) {
    if (win32::SystemMenuCommand(message) == kOutputOptionsCommand) {
        *result = 0;
        // After the message is handled: the window is modal and runs its own loop.
        QTimer::singleShot(0, this, [this] { OpenOutputOptions(); });
        return true;
    }
    return QWidget::nativeEvent(eventType, message, result);
}
#endif

void MainWindow::FinishOutput(std::unique_ptr<output::OutputRun> run, bool plotted) {
    m_runner.SetFrameHook(nullptr);
    if (!run || !plotted || m_runFailed) {
        return;
    }
    try {
        run->Finish();
    } catch (const Error& failure) {
        m_prompts.Error(MessageOwner(), Q(failure.Description()));
    }
}

void MainWindow::ReportFontSubstitutions() {
    if (!m_output || !m_output->takeFontSubstitutions) {
        return;
    }
    const std::string summary = FontSubstitutionSummary(m_output->takeFontSubstitutions());
    if (summary.empty()) {
        return;
    }
    std::cerr << summary << std::endl;
    m_prompts.Message(MessageOwner(), QString::fromUtf8(maker::kProgramName),
                      Q(summary +
                        "。\n\n把缺少的 SHX 字体放进程序旁的 Fonts 文件夹，或在设置文件夹的 "
                        "FontMap.ini 里指定替换字体。"));
}

void MainWindow::AfterRun() {
    // The run took drawings off the list as it finished them.
    SyncListFromModel();
}

void MainWindow::xpcmdbutton2_Click() {
    m_shell.OpenAddress(this, QString::fromUtf8(maker::kWebSite));
    AboutWindow about(m_shell, this);
    about.exec();
}

void MainWindow::xpcmdbutton4_Click() {
    m_shell.OpenHelp(this, ProgramFile("Kestrelwick.chm"));
}

void MainWindow::xpcmdbutton3_Click() {
    m_shell.EndProgram();
}

// RunHost

PlotSettings MainWindow::Settings() {
    PlotSettings settings;
    settings.mode = Option1->isChecked()   ? PlotMode::CurrentDrawing
                    : Option3->isChecked() ? PlotMode::CurrentDrawingPart
                                           : PlotMode::SelectedFiles;
    settings.frameKind = Option10->isChecked()  ? FrameKind::BlockReference
                         : Option8->isChecked() ? FrameKind::ExternalReference
                                                : FrameKind::PolylineLayer;
    settings.frameLayer = S(Text1->text());
    settings.blockName = S(Text3->text());
    settings.xrefName = S(Text4->text());
    settings.rowsBottomUp = Option7->isChecked();
    settings.printerName = S(Combo1->currentText());
    settings.paperName = S(Combo2->currentText());
    settings.styleTable = S(Combo3->currentText());
    settings.portrait = Option4->isChecked();
    settings.reversePlot = Check5->isChecked();
    settings.frameLength = S(Text32->text());
    settings.pointAllowance = S(Text2->text());
    settings.centerPlot = Check6->isChecked();
    settings.offsetX = S(Text34->text());
    settings.offsetY = S(Text33->text());
    settings.plotLineweights = Check7->isChecked();
    settings.plotStyles = Check8->isChecked();
    settings.hideObjects = Check9->isChecked();
    settings.copies = S(Text42->text());
    return settings;
}

void MainWindow::ShowMainWindow() {
    SyncListFromModel();
    show();
}

void MainWindow::HideMainWindow() {
    hide();
}

ProgressWindow* MainWindow::LoadedProgress() {
    if (m_progress == nullptr) {
        m_progress = new ProgressWindow([this] {
            m_progress.clear();
            ShowMainWindow();
        });
        m_progress->setWindowIcon(ProgramIcon());
    }
    return m_progress;
}

void MainWindow::ShowProgress() {
    LoadedProgress()->show();
}

void MainWindow::SetProgressLabel(ProgressLabel label, const std::string& text) {
    // Writing a label of a closed progress window loads it, still hidden.
    LoadedProgress()->SetLabel(label, Q(text));
}

void MainWindow::RepaintProgress() {
    if (m_progress == nullptr) {
        return;
    }
    // The run holds the event loop: let the window system map and paint the window, but keep
    // every input (a double-click included) until the run has ended.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    m_progress->repaint();
}

void MainWindow::BringWindowToFront(const std::string& title) {
    ui::BringWindowToFront(title);
}

void MainWindow::ShowError(const std::string& text) {
    m_runFailed = true;
    m_prompts.Error(MessageOwner(), Q(text));
}

QWidget* MainWindow::MessageOwner() {
    // The progress window stays above every other window while it is shown: a box owned by the
    // hidden main window would open beneath it, and the run would look hung.
    if (m_progress != nullptr && m_progress->isVisible()) {
        return m_progress;
    }
    return this;
}

std::string MainWindow::TimeOfDay() {
    const QLocale locale = QLocale::system();
    QString format = locale.timeFormat(QLocale::LongFormat);
    // The long format may name the time zone; the progress window shows the clock only.
    format.remove(QLatin1Char('t'));
    return S(locale.toString(QTime::currentTime(), format.trimmed()));
}

// CatalogView

QComboBox* MainWindow::Combo(CatalogList list) const {
    switch (list) {
    case CatalogList::Printers:
        return Combo1;
    case CatalogList::Papers:
        return Combo2;
    case CatalogList::StyleTables:
        return Combo3;
    }
    return Combo1;
}

void MainWindow::ClearList(CatalogList list) {
    QComboBox* combo = Combo(list);
    const QString text = combo->currentText();
    combo->clear();
    combo->setEditText(text);
}

void MainWindow::AddToList(CatalogList list, const std::string& name) {
    // Adding an entry never changes the box's text: that text is the setting.
    QComboBox* combo = Combo(list);
    const QString text = combo->currentText();
    combo->addItem(Q(name));
    if (combo->currentText() != text) {
        combo->setCurrentIndex(-1);
        combo->setEditText(text);
    }
}

std::string MainWindow::PrinterText() {
    return S(Combo1->currentText());
}

void MainWindow::EnableRunCommands() {
    Command5->setEnabled(true);
    xpcmdbutton1->setEnabled(true);
}

void MainWindow::SetOffsets(const std::string& offsetX, const std::string& offsetY) {
    Text34->setText(Q(offsetX));
    Text33->setText(Q(offsetY));
}

void MainWindow::SetPortrait(bool portrait) {
    if (portrait) {
        Option4->setChecked(true);
    } else {
        Option5->setChecked(true);
    }
}

} // namespace kw::ui
