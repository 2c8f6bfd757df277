#pragma once

#include <QDialog>
#include <QLabel>
#include <QPushButton>

namespace kw::ui {

class Shell;

// The About window (object name "aboutfrm"): names the maker and the ways to reach it; its links
// go through the shell.
class AboutWindow : public QDialog {
    Q_OBJECT
public:
    AboutWindow(Shell& shell, QWidget* parent);

    QLabel* picBGHead;
    QLabel* picBGHeadIcon;
    QLabel* lblBGHeadInfo1;
    QFrame* linBorder;
    QLabel* Label2;
    QLabel* Label7;
    QLabel* Label3;
    QLabel* Label9;
    QLabel* Label5;
    QLabel* lblHomepage;
    QLabel* Label6;
    QLabel* Label4;
    QPushButton* Command1;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Form_Load();
    void picBGHead_Click();
    void picBGHeadIcon_Click();
    void lblBGHeadInfo1_Click();
    void lblHomepage_Click();
    void Label4_Click();
    void Command1_Click();
    void OpenWebSite();
    QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, double left,
                      double top, double width, double height);

    Shell& m_shell;
};

} // namespace kw::ui
