#pragma once

// Scripted stand-ins for what the windows ask of the user and of the desktop.

#include <QStringList>
#include <QTemporaryDir>
#include <QUrl>
#include <QWidget>
#include <deque>
#include <memory>
#include <optional>

#include "cad/cad_session.h"
#include "tests/support/substitute_cad.h"
#include "ui/page_view.h"
#include "ui/platform/desktop.h"
#include "ui/main_window.h"
#include "ui/prompts.h"

namespace kw::test {

struct FileDialogCall {
    ui::FileDialogKind kind;
    QString title;
    QStringList filters;
    QString fileName;
};

// Answers the dialogs from queues and keeps every message shown.
class ScriptedPrompts : public ui::Prompts {
public:
    std::deque<std::optional<QStringList>> openAnswers;
    std::deque<std::optional<QString>> fileAnswers;
    QStringList errors;
    std::vector<QWidget*> errorOwners; // the parent of each error box, in order
    QStringList messages; // "caption|text"
    QStringList openTitles;
    QStringList openFilters;
    std::vector<FileDialogCall> fileCalls;

    void Error(QWidget* parent, const QString& text) override;
    void Message(QWidget* parent, const QString& caption, const QString& text) override;
    std::optional<QStringList> OpenFiles(QWidget* parent, const QString& title,
                                         const QStringList& filters) override;
    std::optional<QString> ChooseFile(QWidget* parent, ui::FileDialogKind kind,
                                      const QString& title, const QStringList& filters,
                                      const QString& fileName) override;
};

class RecordingShell : public ui::Shell {
public:
    QStringList addresses;
    QStringList helpFiles;
    int ends = 0;

    void OpenAddress(QWidget*, const QString& address) override { addresses.append(address); }
    void OpenHelp(QWidget*, const QString& helpFile) override { helpFiles.append(helpFile); }
    void EndProgram() override { ++ends; }
};

// A page view without a browser; remembers where it was sent.
class RecordingPageView : public QWidget, public ui::PageView {
public:
    explicit RecordingPageView(QWidget* parent) : QWidget(parent) {}
    QWidget* Widget() override { return this; }
    void Navigate(const QUrl& address) override { addresses.append(address); }
    QList<QUrl> addresses;
};

// A main window over the substitute CAD, with its program folder in a temporary directory.
struct MainWindowFixture {
    explicit MainWindowFixture(
        CadScript script = {}, std::function<void()> showPromotions = [] {});
    ~MainWindowFixture();

    QString Folder() const { return folder.path(); }
    QString FilePath(const QString& name) const { return folder.filePath(name); }

    QTemporaryDir folder;
    std::shared_ptr<SubstituteCad> cad;
    QStringList connectMessages;
    std::unique_ptr<CadSession> session;
    ScriptedPrompts prompts;
    RecordingShell shell;
    std::unique_ptr<ui::MainWindow> window;

    // Builds the window; a settings file can be written into Folder() before.
    ui::MainWindow& Open();

private:
    CadScript m_script;
    std::function<void()> m_showPromotions;
};

// Writes a text file of lines ending in CR LF.
void WriteLines(const QString& path, const QStringList& lines);
QByteArray ReadBytes(const QString& path);

} // namespace kw::test
