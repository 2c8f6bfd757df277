#include "builtin/cad_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QStatusBar>
#include <QVBoxLayout>

#include <stdexcept>

#include "builtin/builtin_objects.h"
#include "builtin/drawing_view.h"
#include "builtin/plot_preview.h"

namespace kw::builtin {
namespace {

// Lines the command line keeps; older ones scroll away as in a CAD's command history.
constexpr int kCommandLineLines = 500;

class WindowScreen : public CadScreen {
public:
    explicit WindowScreen(ApplicationState& application) : m_application(application) {}

    ~WindowScreen() override {
        // Widgets cannot outlive the application object; after it there is nothing to free.
        if (QCoreApplication::instance() != nullptr) {
            delete m_window.data();
        }
    }

    void Refresh() override {
        if (m_window) {
            m_window->Sync();
        } else if (m_application.visible) {
            Window().Sync();
        }
    }

    std::vector<const drawing::Entity*>
    Pick(const std::shared_ptr<DocumentState>& document) override {
        if (m_picking) {
            Fail(errors::kFailed, "SelectOnScreen: a pick is under way already");
        }
        CadWindow& window = Window();
        m_application.visible = true; // nobody picks in a window they cannot see
        window.View()->SetDrawing(document, document->activeLayout);
        window.Sync();
        window.raise();
        window.activateWindow();

        QPointer<CadWindow> guard(&window);
        QEventLoop loop;
        bool accepted = false;
        QObject::connect(window.View(), &DrawingView::PickEnded, &loop, [&](bool ok) {
            accepted = ok;
            loop.quit();
        });
        QObject::connect(&window, &CadWindow::Closed, &loop, &QEventLoop::quit);
        QObject::connect(&window, &QObject::destroyed, &loop, &QEventLoop::quit);
        m_picking = true;
        window.View()->BeginPick();
        window.Sync();
        loop.exec();
        m_picking = false;
        if (!guard) {
            return {};
        }
        if (window.View()->Picking()) {
            window.View()->EndPick(false); // the window was closed or the program is ending
        }
        window.Sync();
        if (!accepted || document->closed) {
            return {};
        }
        return window.View()->Picked();
    }

    void Preview(const std::shared_ptr<DocumentState>& document, std::size_t layoutIndex) override {
        std::unique_ptr<PlotPreviewDialog> dialog;
        try {
            dialog = std::make_unique<PlotPreviewDialog>(document, layoutIndex, m_window.data());
        } catch (const std::exception& failure) {
            Fail(errors::kInvalidArgument, std::string("DisplayPlotPreview: ") + failure.what());
        }
        dialog->exec();
    }

private:
    CadWindow& Window() {
        if (!m_window) {
            m_window = new CadWindow(m_application);
        }
        return *m_window;
    }

    ApplicationState& m_application;
    QPointer<CadWindow> m_window;
    bool m_picking = false;
};

// Command-line entries may hold several lines and CR LF pairs; the strip shows plain lines.
QStringList DisplayLines(const std::string& entry) {
    QStringList lines;
    for (QString line : QString::fromStdString(entry).split(QLatin1Char('\n'))) {
        line.remove(QLatin1Char('\r'));
        if (!line.trimmed().isEmpty()) {
            lines.append(line);
        }
    }
    return lines;
}

} // namespace

std::unique_ptr<CadScreen> MakeCadScreen(ApplicationState& application) {
    if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) {
        return nullptr;
    }
    return std::make_unique<WindowScreen>(application);
}

CadWindow::CadWindow(ApplicationState& application)
    : m_application(application), m_view(new DrawingView(this)),
      m_commandLine(new QPlainTextEdit(this)) {
    setObjectName(QStringLiteral("BuiltinCadWindow"));

    QMenu* file = menuBar()->addMenu(QStringLiteral("文件(&F)"));
    QAction* open = file->addAction(QStringLiteral("打开(&O)..."), this, &CadWindow::File_Open);
    open->setObjectName(QStringLiteral("FileOpen"));
    open->setShortcut(QKeySequence::Open);
    QMenu* view = menuBar()->addMenu(QStringLiteral("视图(&V)"));
    QAction* extents =
        view->addAction(QStringLiteral("范围缩放(&E)"), m_view, &DrawingView::ZoomExtents);
    extents->setObjectName(QStringLiteral("ZoomExtents"));
    view->addAction(QStringLiteral("放大(&I)"), m_view,
                    [this] { m_view->ZoomAbout(m_view->rect().center(), 2.0); });
    view->addAction(QStringLiteral("缩小(&O)"), m_view,
                    [this] { m_view->ZoomAbout(m_view->rect().center(), 0.5); });

    m_commandLine->setObjectName(QStringLiteral("CommandLine"));
    m_commandLine->setReadOnly(true);
    m_commandLine->setFocusPolicy(Qt::NoFocus); // keys go to the drawing, as a pick needs
    m_commandLine->setMaximumBlockCount(kCommandLineLines);
    m_commandLine->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    const int lineHeight = m_commandLine->fontMetrics().lineSpacing();
    m_commandLine->setFixedHeight(4 * lineHeight + 10);

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_view, 1);
    layout->addWidget(m_commandLine);
    setCentralWidget(central);

    auto* coordinates = new QLabel(this);
    coordinates->setObjectName(QStringLiteral("Coordinates"));
    coordinates->setMinimumWidth(coordinates->fontMetrics().horizontalAdvance(
        QStringLiteral("-0000000.0000, -0000000.0000")));
    statusBar()->addWidget(coordinates);
    connect(m_view, &DrawingView::CursorMoved, coordinates, [coordinates](QPointF at) {
        coordinates->setText(
            QStringLiteral("%1, %2").arg(at.x(), 0, 'f', 4).arg(at.y(), 0, 'f', 4));
    });
    connect(m_view, &DrawingView::Message, this, [this](const QString& text) {
        m_application.commandLine.push_back(text.toStdString());
        Sync();
    });
    resize(1000, 720);
}

void CadWindow::Sync() {
    setWindowTitle(QString::fromStdString(m_application.Caption()));

    if (!m_view->Picking()) {
        const auto active = m_application.Active();
        const std::size_t layout = active ? active->activeLayout : 0;
        if (active != m_view->Drawing() || (active && layout != m_view->LayoutIndex())) {
            m_view->SetDrawing(active, layout);
        }
    }

    const auto& entries = m_application.commandLine;
    if (entries.size() < m_linesShown) {
        m_commandLine->clear();
        m_linesShown = 0;
    }
    for (; m_linesShown < entries.size(); ++m_linesShown) {
        for (const QString& line : DisplayLines(entries[m_linesShown])) {
            m_commandLine->appendPlainText(line);
        }
    }
    menuBar()->setEnabled(!m_view->Picking());

    if (m_application.visible && !isVisible()) {
        // Shown behind the program's own windows, as the host CAD would be: a run brings it
        // to the front by its title when it needs it.
        setAttribute(Qt::WA_ShowWithoutActivating);
        show();
        lower();
        setAttribute(Qt::WA_ShowWithoutActivating, false);
    } else if (!m_application.visible && isVisible()) {
        hide();
    }
}

bool CadWindow::OpenDrawing(const QString& path) {
    try {
        MakeDocuments(m_application.shared_from_this())->Open(path.toStdString());
        m_lastFolder = QFileInfo(path).absolutePath();
        return true;
    } catch (const CadError& failure) {
        m_application.commandLine.push_back(failure.Description());
        Sync();
        QMessageBox::warning(this, QString::fromUtf8(kWindowTitle),
                             QString::fromStdString(failure.Description()));
        return false;
    }
}

void CadWindow::File_Open() {
    const QString title = QStringLiteral("选择文件");
    const QString filters = QStringLiteral("图形 (*.dxf *.dwg);;DXF 图形 (*.dxf);;所有文件 (*)");
    const QString path = m_openPrompt
                             ? m_openPrompt(this, title, m_lastFolder, filters)
                             : QFileDialog::getOpenFileName(this, title, m_lastFolder, filters);
    if (!path.isEmpty()) {
        OpenDrawing(path);
    }
}

void CadWindow::closeEvent(QCloseEvent* event) {
    // Closing the window hides the CAD; the next connection shows it again.
    m_application.visible = false;
    if (m_view->Picking()) {
        m_view->EndPick(false);
    }
    event->accept();
    emit Closed();
}

} // namespace kw::builtin
