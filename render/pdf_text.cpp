#include "render/pdf_text.h"

#include <QGlyphRun>
#include <QPainter>
#include <QTextBoundaryFinder>
#include <QTextLayout>

#include <qpdf/Buffer.hh>
#include <qpdf/Pl_Buffer.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFPageObjectHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include <algorithm>
#include <cstdio>
#include <stdexcept>

namespace kw::render {
namespace {

std::vector<PdfTextCapture*>& Captures() {
    static std::vector<PdfTextCapture*> captures;
    return captures;
}

// A text object of a content stream: where its operators start (after BT) and end (at ET), and
// how many glyph-showing operators it holds (Qt's writer shows one glyph per Tj).
struct TextObject {
    std::size_t begin = 0;
    std::size_t end = 0;
    int shows = 0;
};

bool IsSpace(char c) {
    return c == ' ' || c == '\n' || c == '\r' || c == '\t' || c == '\f' || c == '\0';
}

bool IsDelimiter(char c) {
    return IsSpace(c) || c == '(' || c == ')' || c == '<' || c == '>' || c == '[' || c == ']' ||
           c == '{' || c == '}' || c == '/' || c == '%';
}

// The text objects of a content stream, read token by token so that strings and inline images
// are never taken for operators. Throws std::runtime_error on what does not read.
std::vector<TextObject> TextObjects(const std::string& content) {
    std::vector<TextObject> objects;
    bool inText = false;
    const std::size_t n = content.size();
    for (std::size_t i = 0; i < n;) {
        const char c = content[i];
        if (IsSpace(c)) {
            ++i;
        } else if (c == '%') {
            while (i < n && content[i] != '\n' && content[i] != '\r')
                ++i;
        } else if (c == '(') {
            int depth = 0;
            for (; i < n; ++i) {
                if (content[i] == '\\') {
                    ++i;
                } else if (content[i] == '(') {
                    ++depth;
                } else if (content[i] == ')' && --depth == 0) {
                    break;
                }
            }
            if (i >= n)
                throw std::runtime_error("unterminated string");
            ++i;
        } else if (c == '<' && i + 1 < n && content[i + 1] == '<') {
            i += 2;
        } else if (c == '<') {
            const std::size_t close = content.find('>', i);
            if (close == std::string::npos)
                throw std::runtime_error("unterminated hex string");
            i = close + 1;
        } else if (c == '>') {
            i += (i + 1 < n && content[i + 1] == '>') ? 2 : 1;
        } else if (c == '[' || c == ']' || c == '{' || c == '}') {
            ++i;
        } else {
            const std::size_t start = i;
            ++i; // a name's slash, or the token's first character
            while (i < n && !IsDelimiter(content[i]))
                ++i;
            const std::string token = content.substr(start, i - start);
            if (token == "BT") {
                if (inText)
                    throw std::runtime_error("nested text object");
                objects.push_back({i, 0, 0});
                inText = true;
            } else if (token == "ET") {
                if (!inText)
                    throw std::runtime_error("ET without BT");
                objects.back().end = start;
                inText = false;
            } else if (token == "Tj" || token == "TJ" || token == "'" || token == "\"") {
                if (!inText)
                    throw std::runtime_error("text shown outside a text object");
                ++objects.back().shows;
            } else if (token == "ID") {
                // Inline image data runs to the EI that follows white space.
                std::size_t at = i;
                while (true) {
                    at = content.find("EI", at);
                    if (at == std::string::npos)
                        throw std::runtime_error("unterminated inline image");
                    if (IsSpace(content[at - 1]) && (at + 2 == n || IsDelimiter(content[at + 2])))
                        break;
                    ++at;
                }
                i = at + 2;
            }
        }
    }
    if (inText)
        throw std::runtime_error("unterminated text object");
    return objects;
}

// "<FEFF0041…>", the characters as UTF-16BE with its byte-order mark; "<>" for none.
std::string ActualText(const QString& characters) {
    if (characters.isEmpty())
        return "<>";
    std::string hex = "<FEFF";
    char unit[8];
    for (const QChar c : characters) {
        std::snprintf(unit, sizeof unit, "%04X", static_cast<unsigned>(c.unicode()));
        hex += unit;
    }
    return hex + ">";
}

// The content stream with each text object marked with its piece's characters; throws
// std::runtime_error when the objects are not the pieces.
std::string Marked(const std::string& content, const std::vector<PdfTextCapture::Piece>& pieces) {
    const std::vector<TextObject> objects = TextObjects(content);
    if (objects.size() != pieces.size())
        throw std::runtime_error("the page has " + std::to_string(objects.size()) +
                                 " text objects, " + std::to_string(pieces.size()) + " were drawn");
    std::string marked;
    marked.reserve(content.size() + pieces.size() * 48);
    std::size_t copied = 0;
    for (std::size_t k = 0; k < objects.size(); ++k) {
        const TextObject& object = objects[k];
        const PdfTextCapture::Piece& piece = pieces[k];
        if (object.shows != piece.glyphs)
            throw std::runtime_error("a text object shows " + std::to_string(object.shows) +
                                     " glyphs, " + std::to_string(piece.glyphs) + " were drawn");
        marked.append(content, copied, object.begin - copied);
        marked += "\n/Span<</ActualText" + ActualText(piece.characters) + ">>BDC\n";
        // The text rendering mode belongs to the graphics state: set back before the object ends.
        if (piece.invisible)
            marked += "3 Tr\n";
        marked.append(content, object.begin, object.end - object.begin);
        marked += piece.invisible ? "0 Tr EMC\n" : "EMC\n";
        copied = object.end;
    }
    marked.append(content, copied, std::string::npos);
    return marked;
}

// Draws the text's glyph clusters one by one: the smallest runs of characters whose glyphs no
// other characters share (a ligature joins its characters into one cluster).
void DrawClusters(QPainter& painter, QPointF origin, const QString& text, PdfTextCapture& capture,
                  bool invisible) {
    QTextLayout layout(text, painter.font(), painter.device());
    QTextOption option;
    option.setWrapMode(QTextOption::NoWrap);
    layout.setTextOption(option);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    if (!line.isValid()) {
        layout.endLayout();
        return;
    }
    line.setPosition(QPointF(0, 0));
    layout.endLayout();
    const QPointF shift = origin - QPointF(0, line.ascent());

    auto sameGlyph = [](const QList<QGlyphRun>& a, const QList<QGlyphRun>& b) {
        for (const QGlyphRun& x : a)
            for (const QGlyphRun& y : b) {
                if (x.rawFont() != y.rawFont())
                    continue;
                const auto xi = x.glyphIndexes(), yi = y.glyphIndexes();
                const auto xp = x.positions(), yp = y.positions();
                for (qsizetype i = 0; i < xi.size(); ++i)
                    for (qsizetype j = 0; j < yi.size(); ++j)
                        if (xi[i] == yi[j] && xp[i] == yp[j])
                            return true;
            }
        return false;
    };

    QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, text);
    auto nextBoundary = [&](qsizetype from) {
        graphemes.setPosition(from);
        const qsizetype next = graphemes.toNextBoundary();
        return next < 0 ? text.size() : next;
    };
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = nextBoundary(start);
        QList<QGlyphRun> runs = layout.glyphRuns(start, end - start);
        while (end < text.size()) {
            const qsizetype after = nextBoundary(end);
            const QList<QGlyphRun> next = layout.glyphRuns(end, after - end);
            if (!sameGlyph(runs, next))
                break;
            end = after;
            runs = layout.glyphRuns(start, end - start);
        }
        bool first = true;
        for (const QGlyphRun& run : runs) {
            if (run.glyphIndexes().isEmpty())
                continue;
            painter.drawGlyphRun(shift, run);
            // A cluster drawn in two fonts: its characters go with the first.
            capture.Add({first ? text.mid(start, end - start) : QString(),
                         static_cast<int>(run.glyphIndexes().size()), invisible});
            first = false;
        }
        start = end;
    }
}

} // namespace

PdfTextCapture::PdfTextCapture(const QPaintDevice* writer) : m_device(writer) {
    Captures().push_back(this);
}

PdfTextCapture::~PdfTextCapture() {
    auto& captures = Captures();
    captures.erase(std::remove(captures.begin(), captures.end(), this), captures.end());
}

void PdfTextCapture::NewPage() {
    m_pages.emplace_back();
}

void PdfTextCapture::Add(Piece piece) {
    m_pages.back().push_back(std::move(piece));
}

PdfTextCapture* PdfTextCapture::For(const QPaintDevice* device) {
    for (PdfTextCapture* capture : Captures())
        if (capture->m_device == device)
            return capture;
    return nullptr;
}

bool PdfTextCapture::Apply(std::string& pdf) const {
    try {
        QPDF document;
        document.setSuppressWarnings(true);
        document.processMemoryFile("plot", pdf.data(), pdf.size());
        std::vector<QPDFPageObjectHelper> pages = QPDFPageDocumentHelper(document).getAllPages();
        if (pages.size() != m_pages.size())
            return false;
        bool any = false;
        for (std::size_t p = 0; p < pages.size(); ++p) {
            if (m_pages[p].empty())
                continue;
            Pl_Buffer buffer("page contents");
            pages[p].pipeContents(&buffer);
            std::unique_ptr<Buffer> bytes(buffer.getBuffer());
            const std::string content(reinterpret_cast<const char*>(bytes->getBuffer()),
                                      bytes->getSize());
            pages[p].getObjectHandle().replaceKey(
                "/Contents", QPDFObjectHandle::newStream(&document, Marked(content, m_pages[p])));
            any = true;
        }
        if (!any)
            return true;
        QPDFWriter writer(document);
        writer.setOutputMemory();
        writer.setCompressStreams(true);
        writer.write();
        std::unique_ptr<Buffer> written(writer.getBuffer());
        pdf.assign(reinterpret_cast<const char*>(written->getBuffer()), written->getSize());
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

void DrawTextRun(QPainter& painter, QPointF origin, const QString& text) {
    PdfTextCapture* capture = PdfTextCapture::For(painter.device());
    if (capture == nullptr) {
        painter.drawText(origin, text);
        return;
    }
    DrawClusters(painter, origin, text, *capture, false);
}

void DrawSearchableText(QPainter& painter, QPointF origin, const QString& text) {
    PdfTextCapture* capture = PdfTextCapture::For(painter.device());
    if (capture == nullptr)
        return;
    // No ink even where the mark that hides it is not added: a fully transparent pen.
    painter.save();
    painter.setPen(QPen(QColor(0, 0, 0, 0)));
    DrawClusters(painter, origin, text, *capture, true);
    painter.restore();
}

} // namespace kw::render
