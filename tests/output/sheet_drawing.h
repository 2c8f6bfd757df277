#pragma once

// Writes the drawings the output tests and the field bench plot: frames of known sheets and
// scales on layer 图框, each with a title block of attributes or of loose text, as an R2000 DXF
// (GBK drawing, non-ASCII text written as \U+XXXX so the file itself is ASCII).

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace kw::test {

class DxfText {
public:
    void Tag(int code, const std::string& value) {
        char head[16];
        std::snprintf(head, sizeof head, "%3d\n", code);
        m_out += head;
        m_out += Escaped(value) + "\n";
    }
    void Tag(int code, double value) {
        char text[64];
        std::snprintf(text, sizeof text, "%.6f", value);
        Tag(code, std::string(text));
    }
    std::string Handle() {
        char text[16];
        std::snprintf(text, sizeof text, "%X", m_next++);
        return text;
    }
    const std::string& Text() const { return m_out; }

    // UTF-8 to \U+XXXX for everything outside ASCII.
    static std::string Escaped(const std::string& utf8) {
        std::string out;
        for (std::size_t i = 0; i < utf8.size();) {
            const unsigned char c = static_cast<unsigned char>(utf8[i]);
            if (c < 0x80) {
                out += utf8[i++];
                continue;
            }
            const int length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : 2;
            unsigned code = c & (length == 4 ? 0x07 : length == 3 ? 0x0F : 0x1F);
            for (int k = 1; k < length; ++k) {
                code = (code << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
            }
            char escape[16];
            std::snprintf(escape, sizeof escape, "\\U+%04X", code);
            out += escape;
            i += length;
        }
        return out;
    }

private:
    std::string m_out;
    unsigned m_next = 0x100;
};

// One frame of the drawing: its lower-left corner and size in drawing units, and its title block.
struct SheetFrame {
    double x = 0.0, y = 0.0;
    double width = 0.0, height = 0.0;
    double unitsPerMm = 1.0;   // the drawing scale's denominator
    bool attributes = false;   // title block as a block reference with attributes
    bool labelled = false;     // loose text beside the labels 图号 and 图名 (else in regions)
    std::string number;        // 图号
    std::string title;         // 图名
    bool tenMetreLine = false; // a 10 000-unit line with end ticks, 200 mm above the bottom
    bool topBar = false;       // a bar along the top edge, to tell which way is up
};

class SheetDrawing {
public:
    void Add(const SheetFrame& frame) { m_frames.push_back(frame); }

    std::string Text() {
        DxfText d;
        d.Tag(0, "SECTION");
        d.Tag(2, "HEADER");
        d.Tag(9, "$ACADVER");
        d.Tag(1, "AC1015");
        d.Tag(9, "$DWGCODEPAGE");
        d.Tag(3, "ANSI_936");
        d.Tag(9, "$INSUNITS");
        d.Tag(70, "4");
        d.Tag(0, "ENDSEC");
        d.Tag(0, "SECTION");
        d.Tag(2, "TABLES");
        d.Tag(0, "TABLE");
        d.Tag(2, "LAYER");
        d.Tag(70, "2");
        for (const char* name : {"0", "图框"}) {
            d.Tag(0, "LAYER");
            d.Tag(5, d.Handle());
            d.Tag(100, "AcDbSymbolTableRecord");
            d.Tag(100, "AcDbLayerTableRecord");
            d.Tag(2, name);
            d.Tag(70, "0");
            d.Tag(62, "7");
            d.Tag(6, "CONTINUOUS");
        }
        d.Tag(0, "ENDTAB");
        d.Tag(0, "ENDSEC");
        d.Tag(0, "SECTION");
        d.Tag(2, "BLOCKS");
        d.Tag(0, "BLOCK");
        d.Tag(5, d.Handle());
        d.Tag(100, "AcDbEntity");
        d.Tag(8, "0");
        d.Tag(100, "AcDbBlockBegin");
        d.Tag(2, "TK");
        d.Tag(70, "2");
        d.Tag(10, 0.0);
        d.Tag(20, 0.0);
        d.Tag(30, 0.0);
        d.Tag(3, "TK");
        d.Tag(1, "");
        for (const char* tag : {"图号", "图名"}) {
            d.Tag(0, "ATTDEF");
            d.Tag(5, d.Handle());
            d.Tag(100, "AcDbEntity");
            d.Tag(8, "0");
            d.Tag(100, "AcDbText");
            d.Tag(10, 0.0);
            d.Tag(20, 0.0);
            d.Tag(30, 0.0);
            d.Tag(40, 3.5);
            d.Tag(1, "");
            d.Tag(100, "AcDbAttributeDefinition");
            d.Tag(3, tag);
            d.Tag(2, tag);
            d.Tag(70, "0");
        }
        d.Tag(0, "ENDBLK");
        d.Tag(5, d.Handle());
        d.Tag(100, "AcDbEntity");
        d.Tag(8, "0");
        d.Tag(100, "AcDbBlockEnd");
        d.Tag(0, "ENDSEC");
        d.Tag(0, "SECTION");
        d.Tag(2, "ENTITIES");
        for (const SheetFrame& f : m_frames) {
            WriteFrame(d, f);
        }
        d.Tag(0, "ENDSEC");
        d.Tag(0, "EOF");
        return d.Text();
    }

    void Write(const std::string& path) {
        std::ofstream out(path, std::ios::binary);
        out << Text();
    }

private:
    static void Line(DxfText& d, double x1, double y1, double x2, double y2,
                     const char* layer = "0") {
        d.Tag(0, "LINE");
        d.Tag(5, d.Handle());
        d.Tag(100, "AcDbEntity");
        d.Tag(8, layer);
        d.Tag(100, "AcDbLine");
        d.Tag(10, x1);
        d.Tag(20, y1);
        d.Tag(30, 0.0);
        d.Tag(11, x2);
        d.Tag(21, y2);
        d.Tag(31, 0.0);
    }

    static void Text(DxfText& d, double x, double y, double height, const std::string& text) {
        d.Tag(0, "TEXT");
        d.Tag(5, d.Handle());
        d.Tag(100, "AcDbEntity");
        d.Tag(8, "0");
        d.Tag(100, "AcDbText");
        d.Tag(10, x);
        d.Tag(20, y);
        d.Tag(30, 0.0);
        d.Tag(40, height);
        d.Tag(1, text);
        d.Tag(100, "AcDbText");
    }

    static void WriteFrame(DxfText& d, const SheetFrame& f) {
        const double u = f.unitsPerMm;
        d.Tag(0, "LWPOLYLINE");
        d.Tag(5, d.Handle());
        d.Tag(100, "AcDbEntity");
        d.Tag(8, "图框");
        d.Tag(100, "AcDbPolyline");
        d.Tag(90, "4");
        d.Tag(70, "1");
        const double xs[] = {f.x, f.x + f.width, f.x + f.width, f.x};
        const double ys[] = {f.y, f.y, f.y + f.height, f.y + f.height};
        for (int i = 0; i < 4; ++i) {
            d.Tag(10, xs[i]);
            d.Tag(20, ys[i]);
        }
        // The inner border and the title block's outline, 10 mm inside, 180 × 56 mm.
        const double right = f.x + f.width - 10 * u;
        const double bottom = f.y + 10 * u;
        Line(d, right - 180 * u, bottom, right, bottom);
        Line(d, right - 180 * u, bottom + 56 * u, right, bottom + 56 * u);
        Line(d, right - 180 * u, bottom, right - 180 * u, bottom + 56 * u);
        Line(d, right - 50 * u, bottom, right - 50 * u, bottom + 56 * u);
        const double corner = f.x + f.width;
        if (f.attributes) {
            d.Tag(0, "INSERT");
            d.Tag(5, d.Handle());
            d.Tag(100, "AcDbEntity");
            d.Tag(8, "0");
            d.Tag(100, "AcDbBlockReference");
            d.Tag(66, "1");
            d.Tag(2, "TK");
            d.Tag(10, corner - 40 * u);
            d.Tag(20, f.y + 15 * u);
            d.Tag(30, 0.0);
            d.Tag(41, u);
            d.Tag(42, u);
            d.Tag(43, u);
            const std::pair<const char*, std::string> values[] = {{"图号", f.number},
                                                                  {"图名", f.title}};
            double line = 0;
            for (const auto& [tag, value] : values) {
                d.Tag(0, "ATTRIB");
                d.Tag(5, d.Handle());
                d.Tag(100, "AcDbEntity");
                d.Tag(8, "0");
                d.Tag(100, "AcDbText");
                d.Tag(10, corner - 40 * u);
                d.Tag(20, f.y + (15 + line) * u);
                d.Tag(30, 0.0);
                d.Tag(40, 3.5 * u);
                d.Tag(1, value);
                d.Tag(100, "AcDbAttribute");
                d.Tag(2, tag);
                d.Tag(70, "0");
                line += 20;
            }
            d.Tag(0, "SEQEND");
            d.Tag(5, d.Handle());
            d.Tag(100, "AcDbEntity");
            d.Tag(8, "0");
        } else if (f.labelled) {
            // Labels at the left of the right-hand column, values after them.
            Text(d, corner - 58 * u, f.y + 15 * u, 3.5 * u, "图号");
            Text(d, corner - 45 * u, f.y + 15 * u, 3.5 * u, f.number);
            Text(d, corner - 58 * u, f.y + 35 * u, 3.5 * u, "图名");
            Text(d, corner - 45 * u, f.y + 35 * u, 3.5 * u, f.title);
        } else {
            // In the cells the shipped definitions look at.
            Text(d, corner - 45 * u, f.y + 14 * u, 3.5 * u, f.number);
            Text(d, corner - 45 * u, f.y + 36 * u, 5 * u, f.title);
        }
        if (f.tenMetreLine) {
            const double y = f.y + 200 * u;
            const double x = f.x + 100 * u;
            Line(d, x, y, x + 10000, y);
            Line(d, x, y - 10 * u, x, y + 10 * u);
            Line(d, x + 10000, y - 10 * u, x + 10000, y + 10 * u);
        }
        if (f.topBar) {
            for (int k = 0; k < 20; ++k) {
                const double y = f.y + f.height - (20 + k * 0.5) * u;
                Line(d, f.x + 30 * u, y, f.x + 130 * u, y);
            }
        }
    }

    std::vector<SheetFrame> m_frames;
};

// The measured drawing: A3 1:1 (attributes), A1 1:100 with the 10 m line (text in regions),
// A1×1¼ 1:50 (attributes), portrait A2 1:20 (labelled text, a bar along its top) and a frame of
// 900 × 630 mm at 1:100 that is no standard sheet (text in regions), in one row, in that order.
inline SheetDrawing MeasuredDrawing() {
    SheetDrawing drawing;
    double x = 0;
    auto add = [&](double wMm, double hMm, double n, bool attributes, bool labelled,
                   const std::string& number, const std::string& title, bool line = false,
                   bool bar = false) {
        SheetFrame f;
        f.x = x;
        f.y = 0;
        f.width = wMm * n;
        f.height = hMm * n;
        f.unitsPerMm = n;
        f.attributes = attributes;
        f.labelled = labelled;
        f.number = number;
        f.title = title;
        f.tenMetreLine = line;
        f.topBar = bar;
        drawing.Add(f);
        x += f.width + 100000;
    };
    add(420, 297, 1, true, false, "S-01", "总平面图");
    add(841, 594, 100, false, false, "S-02", "一层平面图", true);
    add(1051, 594, 50, true, false, "S-03", "立面图");
    add(420, 594, 20, false, true, "S-04", "剖面详图", false, true);
    add(900, 630, 100, false, false, "S-05", "总说明");
    return drawing;
}

} // namespace kw::test
