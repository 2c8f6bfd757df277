#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

#include "output/output_options.h"

namespace kw::ui {

// "输出选项" (object name "outputfrm"): what a run makes of its pages beyond the main window's
// settings — paper and scale per frame, file names from the title block, merged PDFs and the
// drawing catalogue.
class OutputOptionsWindow : public QDialog {
    Q_OBJECT
public:
    OutputOptionsWindow(const output::OutputOptions& options, QWidget* parent);

    // The options as the controls hold them.
    output::OutputOptions Options() const;
    // What is wrong with the controls' values, empty when nothing.
    QString Problem() const;

    QComboBox* ComboPaper;
    QLineEdit* TextScale;
    QLineEdit* TextName;
    QComboBox* ComboMerge;
    QCheckBox* CheckCsv;
    QCheckBox* CheckXlsx;
    QCheckBox* CheckPdf;
    QCheckBox* CheckSplit;
    QLineEdit* TextColumns;
    QLineEdit* TextFolder;
    QComboBox* ComboFormat;
    QSpinBox* SpinDpi;
    QCheckBox* CheckMonochrome;
    QLineEdit* TextStamp;
    QComboBox* ComboStampCorner;
    QComboBox* ComboLayouts; // 当前布局 / 模型空间 / 全部布局 / 指定布局 (TextLayouts)
    QLineEdit* TextLayouts;
    QCheckBox* CheckWholeLayouts;
    QPushButton* CommandFolder;
    QLabel* LabelProblem;
    QDialogButtonBox* Buttons;

private:
    void Buttons_Accepted();
};

} // namespace kw::ui
