#pragma once

// What the painter's front end draws with. The front end (Renderer, render/pass*.cpp) walks a
// window of a layout, resolves each entity's layer, colour, plot style, lineweight, linetype,
// text layout and clipping, and hands the result to a Canvas as a dozen simple calls in device
// coordinates. Back ends only draw those calls: PainterCanvas onto any QPainter (PDF, printer,
// screen, image), RecordingCanvas into a list that tests read.

#include <QBrush>
#include <QColor>
#include <QFont>
#include <QImage>
#include <QLineF>
#include <QPainterPath>
#include <QPen>
#include <QPolygonF>
#include <QString>
#include <QTransform>

#include <string>
#include <vector>

class QPainter;

namespace kw::render {

class Canvas {
public:
    virtual ~Canvas() = default;

    // The pen of the strokes that follow: colour, width in device units (0 and cosmetic: the
    // device's finest line), ends, joins, and a dash pattern for highlighted entities.
    virtual void SetPen(const QPen& pen) = 0;
    // Strokes with the pen: an open run of segments, a closed outline, separate lines, dots, and
    // the outline of an area.
    virtual void Polyline(const QPolygonF& points) = 0;
    virtual void Polygon(const QPolygonF& points) = 0;
    virtual void Lines(const QVector<QLineF>& lines) = 0;
    virtual void Points(const QPolygonF& points) = 0;
    virtual void Outline(const QPainterPath& area) = 0;
    // Fills an area (even-odd, as the path says) with a colour or a gradient; no pen.
    virtual void Fill(const QPainterPath& area, const QBrush& brush) = 0;
    // A run of characters in one font and colour. `glyphToDevice` maps the font's coordinates
    // (pixels, origin on the baseline at the run's start, y down) to the device. `searchOnly`:
    // the characters without ink, for text that is drawn otherwise (shape fonts) but must still
    // be found in a PDF.
    virtual void Text(const QString& text, const QFont& font, const QTransform& glyphToDevice,
                      const QColor& color, bool searchOnly) = 0;
    // A picture: `pixelToDevice` maps its pixels (x right, y down from its upper-left corner),
    // clipped to `area`.
    virtual void Image(const QImage& image, const QTransform& pixelToDevice,
                       const QPainterPath& area) = 0;
    // What follows is clipped to `area` as well, until the matching PopClip.
    virtual void PushClip(const QPainterPath& area) = 0;
    virtual void PopClip() = 0;
    // True once the back end has seen enough (a pick that hit): the front end stops walking.
    virtual bool Satisfied() const { return false; }
};

// Draws onto a QPainter, within whatever transform and clip the painter already has.
class PainterCanvas final : public Canvas {
public:
    explicit PainterCanvas(QPainter& painter) : m_painter(painter) {}

    void SetPen(const QPen& pen) override;
    void Polyline(const QPolygonF& points) override;
    void Polygon(const QPolygonF& points) override;
    void Lines(const QVector<QLineF>& lines) override;
    void Points(const QPolygonF& points) override;
    void Outline(const QPainterPath& area) override;
    void Fill(const QPainterPath& area, const QBrush& brush) override;
    void Text(const QString& text, const QFont& font, const QTransform& glyphToDevice,
              const QColor& color, bool searchOnly) override;
    void Image(const QImage& image, const QTransform& pixelToDevice,
               const QPainterPath& area) override;
    void PushClip(const QPainterPath& area) override;
    void PopClip() override;

private:
    QPainter& m_painter;
};

// Keeps every call, for tests that ask what was drawn rather than count pixels: "a dashed line of
// these dashes at these coordinates".
class RecordingCanvas final : public Canvas {
public:
    enum class Kind { Polyline, Polygon, Lines, Points, Outline, Fill, Text, Image, Clip };

    struct Call {
        Kind kind;
        std::vector<QPolygonF> shapes; // device coordinates: the points, each line, each subpath
        QColor color;                  // the pen's, the fill's (a gradient: its first stop)
        double penWidth = 0.0;         // device units; 0 for the finest line
        bool dashedPen = false;        // a highlighted entity's pen
        QString text;                  // Text: the characters
        QFont font;                    // Text: the font
        QTransform transform;          // Text: glyph → device; Image: pixel → device
        bool searchOnly = false;       // Text: characters without ink
        int depth = 0;                 // clips in force
    };

    void SetPen(const QPen& pen) override { m_pen = pen; }
    void Polyline(const QPolygonF& points) override;
    void Polygon(const QPolygonF& points) override;
    void Lines(const QVector<QLineF>& lines) override;
    void Points(const QPolygonF& points) override;
    void Outline(const QPainterPath& area) override;
    void Fill(const QPainterPath& area, const QBrush& brush) override;
    void Text(const QString& text, const QFont& font, const QTransform& glyphToDevice,
              const QColor& color, bool searchOnly) override;
    void Image(const QImage& image, const QTransform& pixelToDevice,
               const QPainterPath& area) override;
    void PushClip(const QPainterPath& area) override;
    void PopClip() override { --m_depth; }

    const std::vector<Call>& Calls() const { return m_calls; }
    // The calls of one kind.
    std::vector<Call> Of(Kind kind) const;
    // One line per call, coordinates rounded to `decimals`: "polyline 0,0 10,0 #000000 w0".
    std::vector<std::string> Listing(int decimals = 2) const;

private:
    Call& Add(Kind kind, bool withPen);

    QPen m_pen;
    int m_depth = 0;
    std::vector<Call> m_calls;
};

} // namespace kw::render
