#pragma once

#include <QLabel>
#include <QWidget>
#include <functional>

#include "engine/run_host.h"

namespace kw::ui {

// The progress window of a plot run (object name "Form3"): page text, start and end time. It
// stands in for the main window while a run works; a double-click anywhere on it closes it and
// gives the main window back.
class ProgressWindow : public QWidget {
    Q_OBJECT
public:
    // `returnToMain` shows the main window again once this window has closed.
    explicit ProgressWindow(std::function<void()> returnToMain);

    void SetLabel(ProgressLabel label, const QString& text);

    QLabel* Label1;
    QLabel* Label2;
    QLabel* Label3;
    QLabel* Label4;
    QLabel* Label5;

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void Form_Load();
    void Form_DblClick();
    void Label1_DblClick();
    void Label2_DblClick();
    void Label3_DblClick();
    void Label4_DblClick();
    void Label5_DblClick();
    void CloseAndReturn();
    QLabel* MakeLabel(const char* name, const char* caption, double left, double top, double width,
                      double height);

    std::function<void()> m_returnToMain;
    bool m_returned = false;
};

} // namespace kw::ui
