#include "ui/prompts.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

namespace kw::ui {

namespace {

// A box stands above its owner; over an owner that stays on top (the progress window) it must
// stay on top as well, or the window manager may keep the owner above it.
void ShowBox(QMessageBox::Icon icon, QWidget* parent, const QString& caption, const QString& text) {
    QMessageBox box(icon, caption, text, QMessageBox::Ok, parent);
    if (parent != nullptr && parent->window()->windowFlags().testFlag(Qt::WindowStaysOnTopHint)) {
        box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    }
    box.exec();
}

} // namespace

void QtPrompts::Error(QWidget* parent, const QString& text) {
    ShowBox(QMessageBox::Critical, parent, QString::fromUtf8(kErrorCaption), text);
}

void QtPrompts::Message(QWidget* parent, const QString& caption, const QString& text) {
    ShowBox(QMessageBox::NoIcon, parent, caption, text);
}

std::optional<QStringList> QtPrompts::OpenFiles(QWidget* parent, const QString& title,
                                                const QStringList& filters) {
    const QStringList files =
        QFileDialog::getOpenFileNames(parent, title, QString(), filters.join(QStringLiteral(";;")));
    if (files.isEmpty()) {
        return std::nullopt;
    }
    return files;
}

std::optional<QString> QtPrompts::ChooseFile(QWidget* parent, FileDialogKind kind,
                                             const QString& title, const QStringList& filters,
                                             const QString& fileName) {
    QFileDialog dialog(parent, title, fileName);
    dialog.setNameFilters(filters);
    if (kind == FileDialogKind::Save) {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
    } else {
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
    }
    if (!fileName.isEmpty()) {
        dialog.selectFile(fileName);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return dialog.selectedFiles().front();
}

QStringList DialogFilters(const std::string& filter) {
    const QStringList parts = QString::fromStdString(filter).split(QLatin1Char('|'));
    QStringList entries;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString& description = parts[i];
        QString pattern = parts[i + 1];
#ifndef _WIN32
        // "*.*" means every file on Windows; elsewhere a name need not hold a dot.
        if (pattern == QLatin1String("*.*")) {
            pattern = QStringLiteral("*");
        }
#endif
        if (description.endsWith(QLatin1Char('(') + parts[i + 1] + QLatin1Char(')'))) {
            entries.append(description);
        } else {
            entries.append(description + QStringLiteral(" (") + pattern + QLatin1Char(')'));
        }
    }
    return entries;
}

std::string DialogResultText(const QStringList& files) {
    if (files.size() == 1) {
        return QDir::toNativeSeparators(files.front()).toStdString();
    }
    std::string text;
    for (const QString& file : files) {
        const QFileInfo info(file);
        if (text.empty()) {
            text = QDir::toNativeSeparators(info.absolutePath()).toStdString();
        }
        text += '\0';
        text += info.fileName().toStdString();
    }
    return text;
}

} // namespace kw::ui
