#include "ui/about_window.h"

#include <QMouseEvent>

#include "ui/maker.h"
#include "ui/platform/desktop.h"
#include "ui/twips.h"

namespace kw::ui {

namespace {

QFont Tahoma(double points, bool bold = false) {
    // Where Tahoma is missing, a font of the same narrow build keeps the texts in their places.
    QFont font;
    font.setFamilies({QStringLiteral("Tahoma"), QStringLiteral("Liberation Sans"),
                      QStringLiteral("Arial"), QStringLiteral("Nimbus Sans"), ChineseFontFamily()});
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

} // namespace

AboutWindow::AboutWindow(Shell& shell, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      m_shell(shell) {
    setObjectName(QStringLiteral("aboutfrm"));
    setWindowTitle(QString::fromUtf8(maker::kBrand));
    setWindowIcon(ProgramIcon());
    setFont(Tahoma(8.25));
    setFixedSize(TwipsRect(0, 0, 5100, 2160).size());

    picBGHead = MakeLabel(this, "picBGHead", QString(), 0, 0, 5790, 615);
    picBGHead->setAutoFillBackground(true);
    QPalette white = picBGHead->palette();
    white.setColor(QPalette::Window, Qt::white);
    picBGHead->setPalette(white);

    picBGHeadIcon = MakeLabel(picBGHead, "picBGHeadIcon", QString(), 240, 120, 480, 480);
    picBGHeadIcon->setPixmap(ProgramIcon().pixmap(32, 32));

    lblBGHeadInfo1 = MakeLabel(picBGHead, "lblBGHeadInfo1", QString::fromUtf8(maker::kSlogan), 960,
                               240, 3855, 255);
    QFont slogan = ButtonFont();
    slogan.setBold(true);
    lblBGHeadInfo1->setFont(slogan);
    lblBGHeadInfo1->setToolTip(QString::fromUtf8(maker::kSloganTip));

    linBorder = new QFrame(this);
    linBorder->setObjectName(QStringLiteral("linBorder"));
    linBorder->setFrameShape(QFrame::HLine);
    linBorder->setStyleSheet(QStringLiteral("color: grey"));
    const QRect line = TwipsRect(0, 615, 5760, 0);
    linBorder->setGeometry(line.x(), line.y(), line.width(), 1);

    Label2 = MakeLabel(this, "Label2", QStringLiteral("作 者："), 600, 720, 600, 210);
    Label7 = MakeLabel(this, "Label7", QString::fromUtf8(maker::kAuthorName), 1320, 720, 540, 195);
    Label3 = MakeLabel(this, "Label3", QStringLiteral("单 位："), 600, 1080, 600, 210);
    Label9 = MakeLabel(this, "Label9", QString::fromUtf8(maker::kAuthorOrganisation), 1320, 1080,
                       1800, 195);
    Label5 = MakeLabel(this, "Label5", QStringLiteral("E-mail："), 555, 1440, 645, 210);
    lblHomepage = MakeLabel(this, "lblHomepage", QString::fromUtf8(maker::kAuthorMail), 1320, 1440,
                            1950, 180);
    Label6 = MakeLabel(this, "Label6", QStringLiteral("软件下载："), 300, 1800, 900, 210);
    Label4 = MakeLabel(this, "Label4", QString::fromUtf8(maker::kWebSite), 1320, 1800, 1395, 180);
    for (QLabel* caption : {Label2, Label3, Label5, Label6}) {
        caption->setFont(Tahoma(9));
    }
    // The labels are given their twips heights but their text must stay whole.
    for (QLabel* value : {Label7, Label9, lblHomepage, Label4, Label2, Label3, Label5, Label6}) {
        value->adjustSize();
    }
    for (QLabel* link : {Label9, lblHomepage, Label4}) {
        link->setCursor(Qt::PointingHandCursor);
    }

    Command1 = new QPushButton(QStringLiteral("  确  定"), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setFont(ButtonFont());
    PlaceTwips(Command1, 3480, 1440, 1335, 375);
    Command1->setDefault(true);
    connect(Command1, &QPushButton::clicked, this, [this] { Command1_Click(); });

    Form_Load();
}

QLabel* AboutWindow::MakeLabel(QWidget* parent, const char* name, const QString& text, double left,
                            double top, double width, double height) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    PlaceTwips(label, left, top, width, height);
    label->installEventFilter(this);
    return label;
}

void AboutWindow::Form_Load() {
    CenterForm(this);
}

bool AboutWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        // Handled clicks stop here, so that a click on the header's icon or slogan does not
        // reach the header strip as a second click.
        if (watched == picBGHead) {
            picBGHead_Click();
        } else if (watched == picBGHeadIcon) {
            picBGHeadIcon_Click();
        } else if (watched == lblBGHeadInfo1) {
            lblBGHeadInfo1_Click();
        } else if (watched == lblHomepage) {
            lblHomepage_Click();
        } else if (watched == Label4) {
            Label4_Click();
        } else {
            return QDialog::eventFilter(watched, event);
        }
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void AboutWindow::OpenWebSite() {
    m_shell.OpenAddress(this, QString::fromUtf8(maker::kWebSite));
}

void AboutWindow::picBGHead_Click() {
    OpenWebSite();
}
void AboutWindow::picBGHeadIcon_Click() {
    OpenWebSite();
}
void AboutWindow::lblBGHeadInfo1_Click() {
    OpenWebSite();
}
void AboutWindow::Label4_Click() {
    OpenWebSite();
}

void AboutWindow::lblHomepage_Click() {
    m_shell.OpenAddress(this, QStringLiteral("mailto:") + QString::fromUtf8(maker::kAuthorMail));
}

void AboutWindow::Command1_Click() {
    accept();
}

} // namespace kw::ui
