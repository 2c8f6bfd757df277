#pragma once

// The built-in CAD's top-level window: titled with the application's Caption (a run finds it by
// that title and brings it to the front), the active drawing in a DrawingView, File → Open for DXF
// drawings and the command line at the bottom.

#include <QMainWindow>

#include <functional>

#include <string>

class QPlainTextEdit;

namespace kw::builtin {

class ApplicationState;
class DrawingView;

class CadWindow : public QMainWindow {
    Q_OBJECT

public:
    explicit CadWindow(ApplicationState& application);

    // Takes title, drawing and command line from the application; shows or hides the window as
    // its Visible says.
    void Sync();

    // Opens a drawing as File → Open does; a failure is shown in a message box and on the command
    // line. Returns whether the drawing is open.
    bool OpenDrawing(const QString& path);

    // The file dialog File → Open asks; replaceable, so a test answers it without a dialog.
    using OpenPrompt = std::function<QString(QWidget* parent, const QString& title,
                                             const QString& folder, const QString& filters)>;
    void SetOpenPrompt(OpenPrompt prompt) { m_openPrompt = std::move(prompt); }

    DrawingView* View() const { return m_view; }
    QPlainTextEdit* CommandLine() const { return m_commandLine; }

signals:
    void Closed();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void File_Open();

    ApplicationState& m_application;
    DrawingView* m_view;
    QPlainTextEdit* m_commandLine;
    std::size_t m_linesShown = 0;
    QString m_lastFolder;
    OpenPrompt m_openPrompt;
};

} // namespace kw::builtin
