#pragma once

#include <QString>
#include <QUrl>
#include <QWidget>

class QTextBrowser;

namespace kw::ui {

// The user guide's pages in a window of the program, where no viewer of the compiled help file
// exists (every system but Windows). The pages are the HTML the help file is compiled from, in
// the folder "help" beside it.
class HelpWindow : public QWidget {
    Q_OBJECT
public:
    explicit HelpWindow(const QUrl& page, QWidget* parent = nullptr);

    QTextBrowser* Browser() const { return m_browser; }
    // Back to the guide's first page.
    void ShowContents();

private:
    void TitleChanged();

    QUrl m_home;
    QTextBrowser* m_browser;
};

// Where the guide's pages lie for the compiled help file `helpFile`: "help" in its folder.
QString HelpGuideFolder(const QString& helpFile);
// The guide's first page, index.html in HelpGuideFolder; empty when that page is missing.
QString HelpGuidePage(const QString& helpFile);

// Shows the guide of `helpFile` at its first page in the program's one help window (made on
// first use, brought to the front afterwards). Null, and nothing shown, when there is no guide.
HelpWindow* ShowHelpGuide(QWidget* owner, const QString& helpFile);

} // namespace kw::ui
