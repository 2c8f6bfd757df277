#pragma once

// Text in PDF files that reads back as the characters drawn. Qt's PDF writer tells a reader which
// character each glyph is only through the font's ToUnicode map, and builds that map from the
// font's own character map: a glyph several code points share comes back as the first of them
// (角 as the radical ⻆ U+2EC6), and a glyph reached by shaping (a digit after a Latin letter in
// the CJK faces) as nothing at all. So the text drawn on a PDF writer is noted, glyph cluster by
// glyph cluster, and the written file is given each cluster's characters as marked content
// (/ActualText), which readers take before the font's map.

#include <QPointF>
#include <QString>

#include <string>
#include <vector>

class QPainter;
class QPaintDevice;

namespace kw::render {

// Notes the text drawn on one PDF writer while it lives. Make one for the writer before painting,
// call NewPage() after each newPage() of the writer, and hand the finished file to Apply().
class PdfTextCapture {
public:
    explicit PdfTextCapture(const QPaintDevice* writer);
    ~PdfTextCapture();
    PdfTextCapture(const PdfTextCapture&) = delete;
    PdfTextCapture& operator=(const PdfTextCapture&) = delete;

    void NewPage();

    // Gives the text of the PDF file `pdf`, as the writer made it, its characters: each text
    // object drawn through DrawTextRun carries the characters of its glyphs, and text drawn only
    // to be found is made invisible. False, with `pdf` unchanged, when the file's text objects are
    // not the ones noted (nothing is lost then but the characters).
    bool Apply(std::string& pdf) const;

    // One text object the PDF writer makes: a glyph cluster of one font.
    struct Piece {
        QString characters;
        int glyphs = 0;
        bool invisible = false;
    };
    // Page by page, in the order drawn.
    const std::vector<std::vector<Piece>>& Pages() const { return m_pages; }

    // The capture of a writer, if any.
    static PdfTextCapture* For(const QPaintDevice* device);
    // Notes the next text object of the current page.
    void Add(Piece piece);

private:
    const QPaintDevice* m_device;
    std::vector<std::vector<Piece>> m_pages{1};
};

// Draws `text` in the painter's font and pen, the left end of its baseline at `origin`, with the
// same ink as QPainter::drawText; on a PDF writer under capture, cluster by cluster with the
// clusters' characters noted.
void DrawTextRun(QPainter& painter, QPointF origin, const QString& text);

// Text that is drawn otherwise (as strokes of a shape font) and is to be found in the PDF all the
// same: on a PDF writer under capture, `text` as invisible text placed as DrawTextRun would;
// elsewhere nothing.
void DrawSearchableText(QPainter& painter, QPointF origin, const QString& text);

} // namespace kw::render
