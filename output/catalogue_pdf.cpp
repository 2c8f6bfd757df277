#include "output/catalogue_pdf.h"

#include <QBuffer>
#include <QFile>
#include <QFont>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

#include <algorithm>

#include "base/error.h"
#include "render/pdf_text.h"

namespace kw::output {
namespace {

constexpr double kMarginMm = 15.0;
constexpr double kRowMm = 8.0;
constexpr double kTitleMm = 14.0;

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

// Draws `text` in `box` as QPainter::drawText(box, flags, text) does for a single line aligned left
// or centred across, at the top or centred down, clipped when it does not fit; through
// render::DrawTextRun, so that the PDF's text reads back as drawn.
void DrawInBox(QPainter& painter, const QRectF& box, int flags, const QString& text) {
    const QFontMetricsF metrics(painter.font(), painter.device());
    const double width = metrics.horizontalAdvance(text);
    const double height = metrics.ascent() + metrics.descent();
    const double x =
        (flags & Qt::AlignHCenter) ? box.left() + (box.width() - width) / 2 : box.left();
    const double top =
        (flags & Qt::AlignVCenter) ? box.top() + (box.height() - height) / 2 : box.top();
    const bool clip = !box.contains(QRectF(x, top, width, height));
    if (clip) {
        painter.save();
        painter.setClipRect(box, Qt::IntersectClip);
    }
    render::DrawTextRun(painter, QPointF(x, top + metrics.ascent()), text);
    if (clip) {
        painter.restore();
    }
}

} // namespace

int WriteCataloguePdf(const std::string& path, const std::string& title,
                      const std::vector<std::vector<std::string>>& table) {
    QFile file(Q(path));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        throw Error(errors::kPathFileAccess, "cannot write the catalogue page " + path + ": " +
                                                 file.errorString().toStdString());
    }
    // Made in memory, so that its text can be given its characters before the file has it.
    QBuffer made;
    made.open(QIODevice::WriteOnly);
    QPdfWriter writer(&made);
    writer.setResolution(600);
    writer.setTitle(Q(title));
    writer.setCreator(QStringLiteral("Kestrelwick"));
    writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(),
                                     QPageLayout::Millimeter));
    render::PdfTextCapture text(&writer);
    QPainter painter;
    if (!painter.begin(&writer)) {
        throw Error(errors::kPathFileAccess, "cannot start the catalogue page " + path);
    }
    const double unitsPerMm = writer.resolution() / 25.4;
    const double pageWidthMm = 210.0 - 2 * kMarginMm;
    const double pageHeightMm = 297.0 - 2 * kMarginMm;
    QFont font(QStringLiteral("Noto Sans CJK SC"));
    font.setPointSizeF(9.0);
    // Without shaping every glyph is the character's own (the CJK faces otherwise draw a digit
    // after a Latin letter with a glyph of no character of its own).
    font.setKerning(false);
    font.setStyleStrategy(QFont::PreferNoShaping);
    QFont bold = font;
    bold.setBold(true);
    QFont heading = font;
    heading.setPointSizeF(16.0);
    heading.setBold(true);

    // Columns as wide as their longest text, scaled to the page's width.
    const std::size_t columns = table.empty() ? 0 : table.front().size();
    std::vector<double> widths(columns, 1.0);
    const QFontMetricsF metrics(font, &writer);
    for (const auto& row : table) {
        for (std::size_t c = 0; c < row.size() && c < columns; ++c) {
            widths[c] = std::max(widths[c], metrics.horizontalAdvance(Q(row[c])) / unitsPerMm + 4);
        }
    }
    double total = 0.0;
    for (const double w : widths) {
        total += w;
    }
    for (double& w : widths) {
        w *= pageWidthMm / std::max(total, 1.0);
    }

    const int rowsPerPage =
        std::max(1, static_cast<int>((pageHeightMm - kTitleMm - kRowMm) / kRowMm));
    auto at = [&](double mm) { return mm * unitsPerMm; };
    int pages = 0;
    std::size_t next = 1;
    do {
        if (pages > 0) {
            writer.newPage();
            text.NewPage();
        }
        ++pages;
        painter.setFont(heading);
        DrawInBox(painter, QRectF(at(kMarginMm), at(kMarginMm), at(pageWidthMm), at(kTitleMm)),
                  Qt::AlignHCenter | Qt::AlignTop, QStringLiteral("图纸目录"));
        double y = kMarginMm + kTitleMm;
        auto drawRow = [&](const std::vector<std::string>& row, const QFont& rowFont, bool rule) {
            painter.setFont(rowFont);
            double x = kMarginMm;
            for (std::size_t c = 0; c < columns; ++c) {
                const QString cell = c < row.size() ? Q(row[c]) : QString();
                DrawInBox(painter, QRectF(at(x + 1), at(y), at(widths[c] - 2), at(kRowMm)),
                          Qt::AlignLeft | Qt::AlignVCenter, cell);
                x += widths[c];
            }
            y += kRowMm;
            if (rule) {
                painter.drawLine(QPointF(at(kMarginMm), at(y)),
                                 QPointF(at(kMarginMm + pageWidthMm), at(y)));
            }
        };
        if (!table.empty()) {
            drawRow(table.front(), bold, true);
        }
        for (int r = 0; r < rowsPerPage && next < table.size(); ++r, ++next) {
            drawRow(table[next], font, false);
        }
    } while (next < table.size());
    painter.end();
    std::string pdf = made.data().toStdString();
    text.Apply(pdf); // should it fail, the page keeps Qt's own text maps
    file.write(pdf.data(), static_cast<qint64>(pdf.size()));
    if (file.error() != QFileDevice::NoError || !file.flush()) {
        throw Error(errors::kPathFileAccess, "cannot write the catalogue page " + path);
    }
    return pages;
}

} // namespace kw::output
