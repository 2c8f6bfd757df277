#include "output/catalogue_pdf.h"

#include <QFile>
#include <QFont>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

#include <algorithm>

#include "base/error.h"

namespace kw::output {
namespace {

constexpr double kMarginMm = 15.0;
constexpr double kRowMm = 8.0;
constexpr double kTitleMm = 14.0;

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

} // namespace

int WriteCataloguePdf(const std::string& path, const std::string& title,
                      const std::vector<std::vector<std::string>>& table) {
    QFile file(Q(path));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        throw Error(errors::kPathFileAccess, "cannot write the catalogue page " + path + ": " +
                                                 file.errorString().toStdString());
    }
    QPdfWriter writer(&file);
    writer.setResolution(600);
    writer.setTitle(Q(title));
    writer.setCreator(QStringLiteral("Kestrelwick"));
    writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(),
                                     QPageLayout::Millimeter));
    QPainter painter;
    if (!painter.begin(&writer)) {
        throw Error(errors::kPathFileAccess, "cannot start the catalogue page " + path);
    }
    const double unitsPerMm = writer.resolution() / 25.4;
    const double pageWidthMm = 210.0 - 2 * kMarginMm;
    const double pageHeightMm = 297.0 - 2 * kMarginMm;
    QFont font(QStringLiteral("Noto Sans CJK SC"));
    font.setPointSizeF(9.0);
    // Without shaping every glyph is the character's own, so a reader of the PDF gets the text
    // back (a digit after a Latin letter otherwise comes out as a glyph with no character).
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
        }
        ++pages;
        painter.setFont(heading);
        painter.drawText(QRectF(at(kMarginMm), at(kMarginMm), at(pageWidthMm), at(kTitleMm)),
                         Qt::AlignHCenter | Qt::AlignTop, QStringLiteral("图纸目录"));
        double y = kMarginMm + kTitleMm;
        auto drawRow = [&](const std::vector<std::string>& row, const QFont& rowFont, bool rule) {
            painter.setFont(rowFont);
            double x = kMarginMm;
            for (std::size_t c = 0; c < columns; ++c) {
                const QString text = c < row.size() ? Q(row[c]) : QString();
                painter.drawText(QRectF(at(x + 1), at(y), at(widths[c] - 2), at(kRowMm)),
                                 Qt::AlignLeft | Qt::AlignVCenter, text);
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
    if (file.error() != QFileDevice::NoError || !file.flush()) {
        throw Error(errors::kPathFileAccess, "cannot write the catalogue page " + path);
    }
    return pages;
}

} // namespace kw::output
