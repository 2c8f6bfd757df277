#include "builtin/plot_output.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QStandardPaths>
#include <QTemporaryFile>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>

#ifdef KW_HAVE_CUPS
#include <cups/cups.h>
#endif

#include "base/paths.h"
#include "builtin/builtin_objects.h"
#include "render/pdf_text.h"

namespace kw::builtin {
namespace {

namespace fs = std::filesystem;

constexpr double kMmPerInch = 25.4;

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

// The sheet as the print system names it: the standard size when there is one (so that a printer
// takes its own A3 rather than a custom sheet), laid landscape when wider than tall.
QPageLayout PageLayout(SheetMm sheet) {
    const double shortSide = std::min(sheet.widthMm, sheet.heightMm);
    const double longSide = std::max(sheet.widthMm, sheet.heightMm);
    const QPageSize size(QSizeF(shortSide, longSide), QPageSize::Millimeter, QString(),
                         QPageSize::FuzzyMatch);
    return QPageLayout(
        size, sheet.widthMm > sheet.heightMm ? QPageLayout::Landscape : QPageLayout::Portrait,
        QMarginsF(), QPageLayout::Millimeter);
}

} // namespace

std::string PdfFolder(const std::string& plotFolder, const std::string& drawingPath) {
    if (!plotFolder.empty()) {
        return plotFolder;
    }
    if (!drawingPath.empty()) {
        const fs::path folder = PathFromUtf8(drawingPath).parent_path();
        return folder.empty() ? "." : Utf8FromPath(folder);
    }
    QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (documents.isEmpty()) {
        documents = QDir::homePath();
    }
    return documents.toStdString();
}

std::string PageFileName(const std::string& stem, int number, const std::string& extension) {
    char digits[16];
    std::snprintf(digits, sizeof digits, "%03d", number);
    return stem + "-" + digits + extension;
}

void PaintPdf(QFileDevice& file, const std::string& where, SheetMm sheet, const std::string& title,
              const PagePainter& paint) {
    // Made in memory, so that its text can be given its characters before the file has it.
    QBuffer made;
    made.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&made);
        writer.setResolution(1200);
        writer.setTitle(Q(title));
        writer.setCreator(QStringLiteral("Kestrelwick"));
        writer.setPageLayout(PageLayout(sheet));
        const render::PdfTextCapture text(&writer);
        QPainter painter;
        if (!painter.begin(&writer)) {
            Fail(errors::kWriteFault, "cannot start a PDF page in " + where);
        }
        paint(painter, writer.resolution() / kMmPerInch);
        painter.end();
        std::string pdf = made.data().toStdString();
        // Should the file not read as written, it keeps Qt's own text maps: the page is the same.
        text.Apply(pdf);
        file.write(pdf.data(), static_cast<qint64>(pdf.size()));
    }
    // QPdfWriter does not report failed writes; the file does.
    if (file.error() != QFileDevice::NoError || !file.flush()) {
        Fail(errors::kWriteFault,
             "cannot write the PDF file " + where + ": " + file.errorString().toStdString());
    }
}

namespace {

// What goes into a new file, written by `fill`: a page as a PDF, a picture or an SVG drawing.
FileFiller PageFiller(SheetMm sheet, const std::string& title, const PageFormat& format,
                      const PagePainter& paint) {
    return [=](QFileDevice& file, const std::string& where) {
        switch (format.kind) {
        case PageFileKind::Pdf:
            PaintPdf(file, where, sheet, title, paint);
            break;
        case PageFileKind::Svg:
            PaintSvg(file, where, sheet, title, paint);
            break;
        default:
            PaintPicturePage(file, where, sheet, format, paint);
            break;
        }
    };
}

// Writes the file beside its final name, then gives it the first free name of `candidate`
// (1, 2, …), never replacing a file.
std::string WriteNewFile(const std::string& folder, const std::string& hint, const FileFiller& fill,
                         const std::function<std::string(int)>& candidateName) {
    const QDir dir(Q(folder));
    if (!dir.exists() && !QDir().mkpath(dir.path())) {
        Fail(errors::kSystemPathNotFound,
             "the folder " + folder + " does not exist and cannot be made");
    }
    // Written beside its final name, so that the rename below is one step on one file system.
    QTemporaryFile temporary(dir.filePath(Q("." + hint + "-XXXXXX.part")));
    if (!temporary.open()) {
        Fail(errors::kAccessDenied, "cannot write a file in the folder " + folder + ": " +
                                        temporary.errorString().toStdString());
    }
    fill(temporary, "in the folder " + folder);
    temporary.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                             QFileDevice::ReadGroup | QFileDevice::ReadOther);
    for (int candidate = 1;; ++candidate) {
        const QString target = dir.filePath(Q(candidateName(candidate)));
        if (QFileInfo::exists(target)) {
            continue;
        }
        // Renaming never replaces a file: one made meanwhile by someone else keeps its name.
        if (temporary.rename(target)) {
            temporary.setAutoRemove(false);
            return QFileInfo(target).absoluteFilePath().toStdString();
        }
        if (!QFileInfo::exists(target)) {
            Fail(errors::kAccessDenied, "cannot name the file " + target.toStdString() + ": " +
                                            temporary.errorString().toStdString());
        }
    }
}

} // namespace

std::string WriteNumberedFile(const std::string& folder, const std::string& stem, int number,
                              const std::string& extension, const FileFiller& fill) {
    const int first = std::max(number, 1);
    return WriteNewFile(folder, stem, fill, [&](int candidate) {
        return PageFileName(stem, first + candidate - 1, extension);
    });
}

std::string WriteNamedFile(const std::string& folder, const std::string& name,
                           const std::string& extension, const FileFiller& fill) {
    return WriteNewFile(folder, "page", fill, [&](int candidate) {
        return (candidate == 1 ? name : name + "_" + std::to_string(candidate)) + extension;
    });
}

std::string WritePage(const std::string& folder, const std::string& stem, int number, SheetMm sheet,
                      const std::string& title, const PagePainter& paint,
                      const PageFormat& format) {
    return WriteNumberedFile(folder, stem, number, format.Extension(),
                             PageFiller(sheet, title, format, paint));
}

std::string WriteNamedPage(const std::string& folder, const std::string& name, SheetMm sheet,
                           const std::string& title, const PagePainter& paint,
                           const PageFormat& format) {
    return WriteNamedFile(folder, name, format.Extension(), PageFiller(sheet, title, format, paint));
}

void PrintPage(const std::string& printerName, SheetMm sheet, int copies, const std::string& title,
               const PagePainter& paint) {
    const QPrinterInfo info = QPrinterInfo::printerInfo(Q(printerName));
    if (info.isNull()) {
        Fail(errors::kInvalidPrinter, "the printer \"" + printerName + "\" is not available");
    }
    QPrinter printer(info, QPrinter::HighResolution);
    printer.setFullPage(true);
    if (!printer.setPageLayout(PageLayout(sheet))) {
        Fail(errors::kFailed, "the printer \"" + printerName + "\" does not take a sheet of " +
                                  std::to_string(sheet.widthMm) + " x " +
                                  std::to_string(sheet.heightMm) + " mm");
    }
    printer.setCopyCount(std::max(copies, 1));
    printer.setDocName(Q(title));
    printer.setCreator(QStringLiteral("Kestrelwick"));
    QPainter painter;
    if (!painter.begin(&printer)) {
        Fail(errors::kFailed, "the printer \"" + printerName + "\" cannot start a job");
    }
    paint(painter, printer.resolution() / kMmPerInch);
    const bool ended = painter.end();
#ifdef KW_HAVE_CUPS
    // Qt hands the job to CUPS at the end of the page and does not look at the answer; the
    // thread's last CUPS status is that answer.
    if (cupsLastError() > IPP_STATUS_OK_EVENTS_COMPLETE) {
        Fail(errors::kFailed,
             "the printer \"" + printerName + "\" did not take the job: " + cupsLastErrorString());
    }
#endif
    if (!ended || printer.printerState() == QPrinter::Error) {
        Fail(errors::kFailed, "the printer \"" + printerName + "\" did not take the job");
    }
}

} // namespace kw::builtin
