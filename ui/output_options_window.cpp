#include "ui/output_options_window.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>

#include "base/error.h"
#include "output/file_names.h"
#include "sheets/sheets.h"

namespace kw::ui {
namespace {

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

template <typename Control> Control* Named(Control* control, const char* name) {
    control->setObjectName(QString::fromLatin1(name));
    return control;
}

} // namespace

OutputOptionsWindow::OutputOptionsWindow(const output::OutputOptions& options, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("outputfrm"));
    setWindowTitle(QStringLiteral("输出选项"));
    auto* form = new QFormLayout;

    ComboPaper = Named(new QComboBox(this), "ComboPaper");
    ComboPaper->addItems({QStringLiteral("主窗口的图纸，图框按标准长度"),
                          QStringLiteral("每个图框按其图幅和比例（1:1 出图）"),
                          QStringLiteral("每个图框按其图幅和比例，非标准图框按图框大小出图")});
    // A frame page is --paper auto with its fallback to the frame's size.
    const bool framePages = options.paper == output::PaperMode::Frame ||
                            (options.paper == output::PaperMode::Auto &&
                             options.fallback == output::Fallback::Frame);
    ComboPaper->setCurrentIndex(framePages                                  ? 2
                                : options.paper == output::PaperMode::Auto ? 1
                                                                           : 0);
    form->addRow(QStringLiteral("图纸："), ComboPaper);

    TextScale = Named(new QLineEdit(Q(options.scale), this), "TextScale");
    TextScale->setToolTip(QStringLiteral("auto：按常用比例识别；1:N：指定比例"));
    form->addRow(QStringLiteral("比例："), TextScale);

    TextName = Named(new QLineEdit(Q(options.nameTemplate), this), "TextName");
    TextName->setPlaceholderText(QStringLiteral("{图号}_{图名}（空：图形名-页号）"));
    TextName->setToolTip(
        QStringLiteral("标题栏字段用 {字段名}，另有 {drawing} {page:03} {index} {sheet} {scale}；"
                       "缺字段的页按 {drawing}-{page:03} 命名"));
    form->addRow(QStringLiteral("文件名："), TextName);

    ComboMerge = Named(new QComboBox(this), "ComboMerge");
    ComboMerge->addItems({QStringLiteral("不合并，每页一个 PDF"),
                          QStringLiteral("每个图形合并为一个 PDF"),
                          QStringLiteral("整批合并为一个 PDF")});
    ComboMerge->setCurrentIndex(static_cast<int>(options.merge));
    form->addRow(QStringLiteral("合并："), ComboMerge);

    CheckSplit = Named(new QCheckBox(QStringLiteral("每个图框另存为图纸（DXF，代替出图）"), this),
                       "CheckSplit");
    CheckSplit->setChecked(options.split);
    form->addRow(QStringLiteral("拆图："), CheckSplit);

    // What the PDF device writes of each page: the page itself, a picture of it, or a drawing.
    ComboFormat = Named(new QComboBox(this), "ComboFormat");
    ComboFormat->addItems({QStringLiteral("PDF"), QStringLiteral("PNG 图片"),
                           QStringLiteral("TIFF 图片"), QStringLiteral("SVG 矢量图")});
    const QStringList formatNames = {QStringLiteral("pdf"), QStringLiteral("png"),
                                     QStringLiteral("tiff"), QStringLiteral("svg")};
    ComboFormat->setCurrentIndex(std::max(0, static_cast<int>(formatNames.indexOf(Q(options.pageFormat)))));
    SpinDpi = Named(new QSpinBox(this), "SpinDpi");
    SpinDpi->setRange(10, 2400);
    SpinDpi->setValue(options.dpi);
    SpinDpi->setSuffix(QStringLiteral(" dpi"));
    CheckMonochrome = Named(new QCheckBox(QStringLiteral("黑白（每点 1 位）"), this), "CheckMonochrome");
    CheckMonochrome->setChecked(options.monochrome);
    const auto showPictureChoices = [this] {
        const bool picture = ComboFormat->currentIndex() == 1 || ComboFormat->currentIndex() == 2;
        SpinDpi->setEnabled(picture);
        CheckMonochrome->setEnabled(picture);
    };
    connect(ComboFormat, &QComboBox::currentIndexChanged, this, showPictureChoices);
    showPictureChoices();
    auto* format = new QHBoxLayout;
    format->addWidget(ComboFormat);
    format->addWidget(SpinDpi);
    format->addWidget(CheckMonochrome);
    format->addStretch();
    form->addRow(QStringLiteral("页面格式："), format);

    CheckCsv = Named(new QCheckBox(QStringLiteral("CSV"), this), "CheckCsv");
    CheckCsv->setChecked(options.catalogueCsv);
    CheckXlsx = Named(new QCheckBox(QStringLiteral("XLSX"), this), "CheckXlsx");
    CheckXlsx->setChecked(options.catalogueXlsx);
    CheckPdf = Named(new QCheckBox(QStringLiteral("PDF（合并文件的首页）"), this), "CheckPdf");
    CheckPdf->setChecked(options.cataloguePdf);
    auto* formats = new QHBoxLayout;
    formats->addWidget(CheckCsv);
    formats->addWidget(CheckXlsx);
    formats->addWidget(CheckPdf);
    formats->addStretch();
    form->addRow(QStringLiteral("图纸目录："), formats);

    TextColumns = Named(new QLineEdit(Q(options.columns), this), "TextColumns");
    form->addRow(QStringLiteral("目录的列："), TextColumns);

    TextFolder = Named(new QLineEdit(Q(options.folder), this), "TextFolder");
    TextFolder->setPlaceholderText(QStringLiteral("空：与图形文件在同一文件夹"));
    CommandFolder = Named(new QPushButton(QStringLiteral("浏览..."), this), "CommandFolder");
    connect(CommandFolder, &QPushButton::clicked, this, [this] {
        const QString chosen = QFileDialog::getExistingDirectory(
            this, QStringLiteral("选择 PDF 文件夹"), TextFolder->text().trimmed());
        if (!chosen.isEmpty()) {
            TextFolder->setText(QDir::toNativeSeparators(chosen));
        }
    });
    auto* folder = new QHBoxLayout;
    folder->addWidget(TextFolder);
    folder->addWidget(CommandFolder);
    form->addRow(QStringLiteral("PDF 文件夹："), folder);

    TextStamp = Named(new QLineEdit(Q(options.stamp), this), "TextStamp");
    TextStamp->setPlaceholderText(QStringLiteral("空：不加戳记；如 {drawing} · {page}/{pages} · {date} {time} · {user}"));
    TextStamp->setToolTip(QStringLiteral(
        "打印在图纸一角、图框之外的一行小字；字段同文件名，另有 {pages} {date} {time} {user} "
        "{device} {paper}；图框外放不下时不加，日志中说明"));
    ComboStampCorner = Named(new QComboBox(this), "ComboStampCorner");
    ComboStampCorner->addItems({QStringLiteral("左下角"), QStringLiteral("右下角"),
                                QStringLiteral("左上角"), QStringLiteral("右上角")});
    ComboStampCorner->setCurrentIndex(static_cast<int>(options.stampCorner));
    auto* stamp = new QHBoxLayout;
    stamp->addWidget(TextStamp, 1);
    stamp->addWidget(ComboStampCorner);
    form->addRow(QStringLiteral("打印戳记："), stamp);

    ComboLayouts = Named(new QComboBox(this), "ComboLayouts");
    ComboLayouts->addItems({QStringLiteral("当前布局"), QStringLiteral("模型空间"),
                            QStringLiteral("全部布局"), QStringLiteral("指定布局")});
    TextLayouts = Named(new QLineEdit(this), "TextLayouts");
    TextLayouts->setPlaceholderText(QStringLiteral("布局名，以逗号分隔"));
    const std::string chosen = options.layouts;
    const int which = chosen == "current" || chosen.empty() ? 0
                      : chosen == "model"                   ? 1
                      : chosen == "all"                     ? 2
                                                            : 3;
    ComboLayouts->setCurrentIndex(which);
    if (which == 3) {
        TextLayouts->setText(Q(chosen));
    }
    TextLayouts->setEnabled(which == 3);
    connect(ComboLayouts, &QComboBox::currentIndexChanged, this,
            [this](int index) { TextLayouts->setEnabled(index == 3); });
    CheckWholeLayouts =
        Named(new QCheckBox(QStringLiteral("没有图框的布局按其页面设置整张打印"), this),
              "CheckWholeLayouts");
    CheckWholeLayouts->setChecked(options.wholeLayouts);
    auto* layouts = new QHBoxLayout;
    layouts->addWidget(ComboLayouts);
    layouts->addWidget(TextLayouts, 1);
    form->addRow(QStringLiteral("布局："), layouts);
    form->addRow(QString(), CheckWholeLayouts);

    LabelProblem = Named(new QLabel(this), "LabelProblem");
    LabelProblem->setStyleSheet(QStringLiteral("color: #b00000"));
    Buttons = Named(new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this),
                    "Buttons");
    Buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("确定"));
    Buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("取消"));
    connect(Buttons, &QDialogButtonBox::accepted, this, [this] { Buttons_Accepted(); });
    connect(Buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(LabelProblem);
    layout->addWidget(Buttons);
    setMinimumWidth(460);
}

output::OutputOptions OutputOptionsWindow::Options() const {
    output::OutputOptions options;
    const int paper = ComboPaper->currentIndex();
    options.paper = paper == 2   ? output::PaperMode::Frame
                    : paper == 1 ? output::PaperMode::Auto
                                 : output::PaperMode::Panel;
    options.scale = TextScale->text().trimmed().toStdString();
    if (options.scale.empty()) {
        options.scale = "auto";
    }
    options.nameTemplate = TextName->text().trimmed().toStdString();
    options.merge = static_cast<output::MergeMode>(ComboMerge->currentIndex());
    options.catalogueCsv = CheckCsv->isChecked();
    options.catalogueXlsx = CheckXlsx->isChecked();
    options.cataloguePdf = CheckPdf->isChecked();
    options.columns = TextColumns->text().trimmed().toStdString();
    options.folder = TextFolder->text().trimmed().toStdString();
    options.stamp = TextStamp->text().trimmed().toStdString();
    options.stampCorner = static_cast<output::StampCorner>(ComboStampCorner->currentIndex());
    options.split = CheckSplit->isChecked();
    static const char* const kFormats[] = {"pdf", "png", "tiff", "svg"};
    options.pageFormat = kFormats[std::clamp(ComboFormat->currentIndex(), 0, 3)];
    options.dpi = SpinDpi->value();
    options.monochrome = options.pageFormat != "pdf" && options.pageFormat != "svg" &&
                         CheckMonochrome->isChecked();
    switch (ComboLayouts->currentIndex()) {
    case 1:
        options.layouts = "model";
        break;
    case 2:
        options.layouts = "all";
        break;
    case 3:
        options.layouts = TextLayouts->text().trimmed().toStdString();
        break;
    default:
        options.layouts = "current";
        break;
    }
    options.wholeLayouts = CheckWholeLayouts->isChecked();
    return options;
}

QString OutputOptionsWindow::Problem() const {
    const output::OutputOptions options = Options();
    try {
        sheets::ParseScale(options.scale);
    } catch (const Error&) {
        return QStringLiteral("比例应为 auto 或 1:N");
    }
    if (options.scale != "auto" && options.paper == output::PaperMode::Panel) {
        return QStringLiteral("指定比例只用于“每个图框按其图幅和比例”");
    }
    try {
        output::FillTemplate(options.nameTemplate, {});
    } catch (const Error&) {
        return QStringLiteral("文件名模板的 { 缺少对应的 }");
    }
    try {
        output::FillTemplate(options.stamp, {});
    } catch (const Error&) {
        return QStringLiteral("打印戳记的 { 缺少对应的 }");
    }
    if (options.pageFormat != "pdf" && (options.merge != output::MergeMode::None ||
                                        options.cataloguePdf)) {
        return QStringLiteral("合并和 PDF 目录只用于 PDF 页面");
    }
    if (options.split && options.merge != output::MergeMode::None) {
        return QStringLiteral("拆图写出的是图纸，没有可合并的 PDF");
    }
    if (ComboLayouts->currentIndex() == 3 && TextLayouts->text().trimmed().isEmpty()) {
        return QStringLiteral("请填写要打印的布局名");
    }
    const QString folder = TextFolder->text().trimmed();
    if (!folder.isEmpty() && !QFileInfo(folder).isDir()) {
        return QStringLiteral("PDF 文件夹不存在：") + folder;
    }
    return {};
}

void OutputOptionsWindow::Buttons_Accepted() {
    const QString problem = Problem();
    LabelProblem->setText(problem);
    if (problem.isEmpty()) {
        accept();
    }
}

} // namespace kw::ui
