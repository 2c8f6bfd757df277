#include "ui/help_window.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QPushButton>
#include <QTextBrowser>
#include <QVBoxLayout>

#include "ui/maker.h"
#include "ui/platform/desktop.h"

namespace kw::ui {

HelpWindow::HelpWindow(const QUrl& page, QWidget* parent)
    : QWidget(parent, Qt::Window), m_home(page), m_browser(new QTextBrowser(this)) {
    setObjectName(QStringLiteral("HelpWindow"));
    setWindowIcon(ProgramIcon());
    m_browser->setObjectName(QStringLiteral("HelpBrowser"));
    // Links between the guide's pages stay in the window; web and mail addresses go to the
    // desktop's own programs.
    m_browser->setOpenExternalLinks(true);

    auto* contents = new QPushButton(QStringLiteral("目录"), this);
    contents->setObjectName(QStringLiteral("HelpContents"));
    auto* back = new QPushButton(QStringLiteral("后退"), this);
    back->setObjectName(QStringLiteral("HelpBack"));
    auto* forward = new QPushButton(QStringLiteral("前进"), this);
    forward->setObjectName(QStringLiteral("HelpForward"));
    back->setEnabled(false);
    forward->setEnabled(false);
    connect(contents, &QPushButton::clicked, this, &HelpWindow::ShowContents);
    connect(back, &QPushButton::clicked, m_browser, &QTextBrowser::backward);
    connect(forward, &QPushButton::clicked, m_browser, &QTextBrowser::forward);
    connect(m_browser, &QTextBrowser::backwardAvailable, back, &QPushButton::setEnabled);
    connect(m_browser, &QTextBrowser::forwardAvailable, forward, &QPushButton::setEnabled);
    connect(m_browser, &QTextBrowser::sourceChanged, this, &HelpWindow::TitleChanged);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(contents);
    buttons->addWidget(back);
    buttons->addWidget(forward);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(m_browser);

    resize(760, 600);
    m_browser->setSource(m_home);
}

void HelpWindow::ShowContents() {
    m_browser->setSource(m_home);
}

void HelpWindow::TitleChanged() {
    const QString page = m_browser->documentTitle();
    const QString program = QString::fromUtf8(maker::kProgramName);
    setWindowTitle(page.isEmpty() ? program : page);
}

QString HelpGuideFolder(const QString& helpFile) {
    return QDir::cleanPath(QFileInfo(helpFile).dir().filePath(QStringLiteral("help")));
}

QString HelpGuidePage(const QString& helpFile) {
    const QString page = QDir(HelpGuideFolder(helpFile)).filePath(QStringLiteral("index.html"));
    return QFileInfo::exists(page) ? QDir::cleanPath(page) : QString();
}

HelpWindow* ShowHelpGuide(QWidget* owner, const QString& helpFile) {
    const QString page = HelpGuidePage(helpFile);
    if (page.isEmpty()) {
        return nullptr;
    }
    const QUrl url = QUrl::fromLocalFile(page);
    HelpWindow* window = nullptr;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* help = qobject_cast<HelpWindow*>(widget);
        if (help != nullptr && !help->isHidden()) {
            window = help;
        }
    }
    if (window == nullptr) {
        // Owned by the window that asked, so it goes when the program's windows go.
        window = new HelpWindow(url, owner != nullptr ? owner->window() : nullptr);
        window->setAttribute(Qt::WA_DeleteOnClose);
        CenterForm(window);
    } else {
        window->ShowContents();
    }
    window->show();
    window->raise();
    window->activateWindow();
    return window;
}

} // namespace kw::ui
