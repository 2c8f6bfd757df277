// The painting pass: TEXT and ATTRIB, MTEXT paragraphs with their inline formatting, stacked
// fractions, background masks; TrueType faces and shape fonts.

#include "render/detail/pass.h"
#include "render/pdf_text.h"

namespace kw::render::detail {

Pass::TextFrame Pass::Frame(const Document& d, const std::string& styleName, double height) const {
    const auto& face = m_state.Face(d, styleName);
    return {face.font, height / face.capHeight, face.metrics, face.ideograph, face.latinTop};
}

void Pass::Glyphs(const TextFrame& frame, const QString& text, double x, double y,
                  double widthFactor, double obliqueDeg, const Transform& local, bool searchOnly) {
    const QPointF o = Dev(local, {0, 0, 0});
    const QPointF ux = Dev(local, {1, 0, 0}) - o;
    const QPointF uy = Dev(local, {0, 1, 0}) - o;
    // Glyph pixels (y down) → local units (y up), width factor and oblique applied.
    const double k = frame.scale;
    const double shear = std::tan(drawing::DegToRad(obliqueDeg));
    const QTransform glyphToLocal(k * widthFactor, 0, -k * shear, -k, x, y);
    const QTransform localToDevice(ux.x(), ux.y(), uy.x(), uy.y(), o.x(), o.y());
    m_canvas.Text(text, frame.font, glyphToLocal * localToDevice, m_color, searchOnly);
}

double Pass::ShapeAdvance(const ShxTextFont& face, const TextFrame& frame, const QString& text,
                          double height) const {
    double width = 0.0;
    for (const char32_t c : text.toUcs4()) {
        if (const auto glyph = face.Glyph(c))
            width += glyph->advance * height;
        else if (const auto standIn = face.StandInAdvance(c))
            width += *standIn * height;
        else
            width += frame.metrics.horizontalAdvance(QString::fromUcs4(&c, 1)) * frame.scale;
    }
    return width;
}

void Pass::StandInGlyph(const ShxTextFont& face, const TextFrame& frame, char32_t c, double cell,
                        double height, double x, double y, double widthFactor, double obliqueDeg,
                        const Transform& local) {
    const QString one = QString::fromUcs4(&c, 1);
    if (face.FullWidth(c) && frame.ideograph.height() > 0) {
        // A big font's character fills its cell: the stand-in's ideographs as high as the text,
        // standing on the baseline, each centred in its cell.
        TextFrame cjk = frame;
        cjk.scale = height / frame.ideograph.height();
        const double advance = frame.metrics.horizontalAdvance(one) * cjk.scale;
        Glyphs(cjk, one, x + (cell - advance) / 2.0 * widthFactor,
               y + frame.ideograph.bottom() * cjk.scale, widthFactor, obliqueDeg, local);
        return;
    }
    // Shape fonts' ascenders are as high as their capitals, a TrueType face's reach higher: the
    // text height goes half-way between the two, so that neither capitals nor ascenders stray
    // far from it. The glyph widened or narrowed towards the shape font's advance, within bounds
    // that keep it legible, and centred in it.
    TextFrame latin = frame;
    const double capPixels = height / frame.scale;
    if (frame.latinTop > capPixels)
        latin.scale = height / ((capPixels + frame.latinTop) / 2.0);
    const double advance = frame.metrics.horizontalAdvance(one) * latin.scale;
    const double stretch = advance > 0.0 ? std::clamp(cell / advance, 0.75, 1.33) : 1.0;
    Glyphs(latin, one, x + (cell - advance * stretch) / 2.0 * widthFactor, y, widthFactor * stretch,
           obliqueDeg, local);
}

void Pass::ShapeGlyphs(const ShxTextFont& face, const TextFrame& frame, const QString& text,
                       double height, double x, double y, double widthFactor, double obliqueDeg,
                       const Transform& local) {
    const double shear = std::tan(drawing::DegToRad(obliqueDeg));
    double cursor = x;
    for (const char32_t c : text.toUcs4()) {
        const auto glyph = face.Glyph(c);
        if (!glyph) {
            const QString one = QString::fromUcs4(&c, 1);
            if (const auto standIn = face.StandInAdvance(c)) {
                StandInGlyph(face, frame, c, *standIn * height, height, cursor, y, widthFactor,
                             obliqueDeg, local);
                cursor += *standIn * height * widthFactor;
                continue;
            }
            Glyphs(frame, one, cursor, y, widthFactor, obliqueDeg, local);
            cursor += frame.metrics.horizontalAdvance(one) * frame.scale * widthFactor;
            continue;
        }
        // Strokes carry no character: it goes over them as invisible text as wide as the shape,
        // so that the PDF's text is the drawing's.
        const QString one = QString::fromUcs4(&c, 1);
        const double trueTypeAdvance = frame.metrics.horizontalAdvance(one) * frame.scale;
        if (trueTypeAdvance > 0.0)
            Glyphs(frame, one, cursor, y, widthFactor * glyph->advance * height / trueTypeAdvance,
                   obliqueDeg, local, true);
        for (const auto& stroke : glyph->strokes) {
            QPolygonF points;
            for (const ShxPoint& p : stroke)
                points << Dev(local, {cursor + (p.x * widthFactor + p.y * shear) * height,
                                      y + p.y * height, 0});
            m_canvas.Polyline(points);
        }
        cursor += glyph->advance * height * widthFactor;
    }
}

void Pass::DrawText(const Document& d, const drawing::TextGeometry& g, const Transform& ocs,
                    bool definition) {
    const drawing::TextStyle* style = d.FindTextStyle(g.style);
    double height = g.height > 0 ? g.height : (style ? style->fixedHeight : 0.0);
    if (!(height > 0.0))
        return;
    const QString text = QString::fromStdString(PlainText(definition ? g.tag : g.text));
    if (text.trimmed().isEmpty())
        return;
    double widthFactor = g.widthFactor > 0 ? g.widthFactor : 1.0;
    TextFrame frame = Frame(d, g.style, height);
    const ShxTextFont* shapes = m_state.ShapeFace(d, g.style);
    if (style && style->Vertical()) {
        // One character below the other, each centred on the insertion point and 1.5 heights
        // further down, as shape fonts space vertical text; alignment and mirroring are horizontal
        // notions the host does not offer for it.
        const Transform local = ocs * Transform::Translation(g.insertion) *
                                Transform::RotationZ(drawing::DegToRad(g.rotationDeg));
        double y = -height;
        for (const char32_t c : text.toUcs4()) {
            const QString one = QString::fromUcs4(&c, 1);
            const double width = (shapes ? ShapeAdvance(*shapes, frame, one, height)
                                         : frame.metrics.horizontalAdvance(one) * frame.scale) *
                                 widthFactor;
            if (shapes)
                ShapeGlyphs(*shapes, frame, one, height, -width / 2.0, y, widthFactor, g.obliqueDeg,
                            local);
            else
                Glyphs(frame, one, -width / 2.0, y, widthFactor, g.obliqueDeg, local);
            y -= 1.5 * height;
        }
        return;
    }
    double advance = (shapes ? ShapeAdvance(*shapes, frame, text, height)
                             : frame.metrics.horizontalAdvance(text) * frame.scale) *
                     widthFactor;
    if (!(advance > 0.0))
        return;
    Vec3 origin = g.insertion;
    double rotation = drawing::DegToRad(g.rotationDeg);
    const bool twoPoint = g.hAlign == 3 || g.hAlign == 5;
    if ((g.hAlign != 0 || g.vAlign != 0) && g.hasAlignment && !twoPoint)
        origin = g.alignment;
    double x = 0.0, y = 0.0;
    if (twoPoint && g.hasAlignment) {
        const Vec3 span = g.alignment - g.insertion;
        const double length = std::hypot(span.x, span.y);
        if (length > 0.0) {
            rotation = std::atan2(span.y, span.x);
            if (g.hAlign == 3) { // aligned: the height follows the width
                frame.scale *= length / advance;
                height *= length / advance;
            } else { // fit: the width factor follows
                widthFactor *= length / advance;
            }
            advance = length;
        }
    } else {
        switch (g.hAlign) {
        case 1:
        case 4:
            x = -advance / 2.0;
            break;
        case 2:
            x = -advance;
            break;
        default:
            break;
        }
    }
    if (g.hAlign == 4)
        y = -height / 2.0;
    else
        switch (g.vAlign) {
        case 1:
            y = shapes && shapes->Font() && shapes->Font()->Above() > 0
                    ? height * shapes->Font()->Below() / shapes->Font()->Above()
                    : frame.metrics.descent() * frame.scale;
            break;
        case 2:
            y = -height / 2.0;
            break;
        case 3:
            y = -height;
            break;
        default:
            break;
        }
    Transform local = ocs * Transform::Translation(origin) * Transform::RotationZ(rotation);
    if (g.generation & 2)
        local = local * Transform::Scaling({-1, 1, 1}) * Transform::Translation({-advance, 0, 0});
    if (g.generation & 4)
        local = local * Transform::Scaling({1, -1, 1});
    if (shapes)
        ShapeGlyphs(*shapes, frame, text, height, x, y, widthFactor, g.obliqueDeg, local);
    else
        Glyphs(frame, text, x, y, widthFactor, g.obliqueDeg, local);
}

Pass::TextFrame Pass::PieceFrame(const Document& d, const std::string& style,
                                 const MTextFormat& format, double height) const {
    const auto& face = m_state.Face(d, style, format.family, format.bold, format.italic);
    return {face.font, height / face.capHeight, face.metrics, face.ideograph, face.latinTop};
}

double Pass::PieceHeight(const MTextFormat& format, double base) const {
    return format.height > 0 ? format.height : base * format.heightFactor;
}

const ShxTextFont* Pass::PieceShapes(const Document& d, const std::string& style,
                                     const MTextFormat& format) const {
    return format.family.empty() ? m_state.ShapeFace(d, style) : nullptr;
}

double Pass::Advance(const TextFrame& frame, const QString& text, const MTextFormat& format,
                     const ShxTextFont* shapes, double height) const {
    const double plain = shapes ? ShapeAdvance(*shapes, frame, text, height)
                                : frame.metrics.horizontalAdvance(text) * frame.scale;
    // Tracking widens the space between characters by a share of the text height.
    return plain * format.widthFactor + (format.tracking - 1.0) * 0.5 * frame.scale *
                                            frame.metrics.height() *
                                            static_cast<double>(text.size());
}

std::vector<Pass::Atom> Pass::Atoms(const Document& d, const std::string& style, double base,
                                    const MTextParagraph& paragraph) const {
    std::vector<Atom> atoms;
    for (const MTextPiece& piece : paragraph) {
        const double height = PieceHeight(piece.format, base);
        const TextFrame frame = PieceFrame(d, style, piece.format, height * kStackScale);
        if (piece.stacked) {
            const double upper = Advance(frame, QString::fromStdString(piece.upper), piece.format);
            const double lower = Advance(frame, QString::fromStdString(piece.lower), piece.format);
            const double width =
                piece.stackKind == '#' ? upper + lower + 0.5 * height : std::max(upper, lower);
            atoms.push_back({&piece, {}, width + 0.2 * height, height, false});
            continue;
        }
        const TextFrame full = PieceFrame(d, style, piece.format, height);
        const ShxTextFont* shapes = PieceShapes(d, style, piece.format);
        const QString text = QString::fromStdString(piece.text);
        QString word;
        auto flush = [&](bool blank) {
            if (!word.isEmpty())
                atoms.push_back({&piece, word, Advance(full, word, piece.format, shapes, height),
                                 height, blank});
            word.clear();
        };
        for (const QChar c : text) {
            if (IsCjk(c.unicode())) {
                flush(false);
                word = c;
                flush(true); // CJK text may break after any character
                continue;
            }
            word += c;
            if (c == QLatin1Char(' '))
                flush(true);
        }
        flush(false);
    }
    return atoms;
}

void Pass::DrawMText(const Document& d, const Entity& e, const drawing::MTextGeometry& g,
                     const Transform& m) {
    if (g.linkedColumn)
        return; // drawn as a column of the text it continues
    const drawing::TextStyle* style = d.FindTextStyle(g.style);
    const double base = g.height > 0 ? g.height : (style ? style->fixedHeight : 0.0);
    if (!(base > 0.0))
        return;
    const drawing::MTextColumns* columns =
        g.columns && g.columns->type > 0 ? g.columns.get() : nullptr;
    const double wrapWidth =
        columns && columns->width > 0.0 ? columns->width : std::max(0.0, g.referenceWidth);
    // Lines of atoms, wrapped at the defined width (a word wider than it stands alone).
    struct Line {
        std::vector<Atom> atoms;
        double width = 0.0, height = 0.0;
        bool columnBreak = false;
        bool paragraphEnd = false; // the last line of its paragraph
    };
    std::vector<Line> lines;
    const auto paragraphs = ParseMText(g.text);
    for (const MTextParagraph& paragraph : paragraphs) {
        lines.emplace_back();
        lines.back().columnBreak = !paragraph.empty() && paragraph.front().columnBreak;
        for (Atom& atom : Atoms(d, g.style, base, paragraph)) {
            Line& line = lines.back();
            if (wrapWidth > 0.0 && !line.atoms.empty() &&
                line.width + atom.width > wrapWidth * 1.0001) {
                // Break after the line's last blank (or before a CJK character), so that a word
                // whose pieces differ in format moves on as a whole.
                std::size_t keep = line.atoms.size();
                while (keep > 0 && !line.atoms[keep - 1].blank &&
                       !IsCjk(line.atoms[keep - 1].text.isEmpty()
                                  ? 0
                                  : line.atoms[keep - 1].text[0].unicode()))
                    --keep;
                if (keep == line.atoms.size() ||
                    IsCjk(atom.text.isEmpty() ? 0 : atom.text[0].unicode())) {
                    lines.emplace_back();
                } else if (keep > 0) {
                    Line next;
                    for (std::size_t k = keep; k < line.atoms.size(); ++k) {
                        next.width += line.atoms[k].width;
                        next.height = std::max(next.height, line.atoms[k].height);
                        next.atoms.push_back(std::move(line.atoms[k]));
                    }
                    line.atoms.resize(keep);
                    line.width = line.height = 0.0;
                    for (const Atom& kept : line.atoms) {
                        line.width += kept.width;
                        line.height = std::max(line.height, kept.height);
                    }
                    lines.push_back(std::move(next));
                }
            }
            Line& target = lines.back();
            target.width += atom.width;
            target.height = std::max(target.height, atom.height);
            target.atoms.push_back(std::move(atom));
        }
        if (lines.back().height == 0.0)
            lines.back().height = base;
        lines.back().paragraphEnd = true;
    }
    for (Line& line : lines) // a blank at the end of a line takes no room
        if (!line.atoms.empty() && line.atoms.back().text.endsWith(QLatin1Char(' '))) {
            const Atom& last = line.atoms.back();
            const auto frame = PieceFrame(d, g.style, last.piece->format, last.height);
            line.width -= Advance(frame, QStringLiteral(" "), last.piece->format,
                                  PieceShapes(d, g.style, last.piece->format), last.height);
        }
    // Baselines, column by column: a column ends at a column break or where the next line would
    // go below its height. Static columns and dynamic ones of given heights stop at their count;
    // the last one takes the rest.
    const double factor = g.lineSpacingFactor > 0 ? g.lineSpacingFactor : 1.0;
    const std::size_t declared =
        columns ? static_cast<std::size_t>(std::max<int>(columns->count, 0)) : 1;
    const bool open = columns && (declared == 0 || (columns->type == 2 && columns->autoHeight));
    std::vector<double> baselines(lines.size());
    std::vector<std::size_t> lineColumn(lines.size(), 0);
    std::vector<double> depth(1, 0.0); // of each column's text
    double y = 0.0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const bool first = depth.back() == 0.0;
        double advance = first ? lines[i].height : lines[i].height * 5.0 / 3.0 * factor;
        if (columns && !first && (open || depth.size() < declared)) {
            const double limit = columns->Height(depth.size() - 1, g.definedHeight);
            // An empty line (a paragraph end before a column break) overflows nothing.
            const bool overflows =
                limit > 0.0 && !lines[i].atoms.empty() && -(y - advance) > limit * 1.0001;
            if (lines[i].columnBreak || overflows) {
                depth.push_back(0.0);
                y = 0.0;
                advance = lines[i].height;
            }
        }
        y -= advance;
        baselines[i] = y;
        lineColumn[i] = depth.size() - 1;
        depth.back() = -y;
    }
    double widest = wrapWidth;
    for (const Line& line : lines)
        widest = std::max(widest, line.width);
    // The cells the text lies in: the columns, or the one box of a text without them.
    const std::size_t cellCount = std::max(depth.size(), columns ? declared : 1);
    const double cellWidth = columns && wrapWidth > 0.0 ? wrapWidth : widest;
    const double gutter = columns ? columns->gutter : 0.0;
    std::vector<double> cellHeights(cellCount, 0.0);
    double totalHeight = 0.0;
    for (std::size_t c = 0; c < cellCount; ++c) {
        cellHeights[c] = c < depth.size() ? depth[c] : 0.0;
        if (columns)
            cellHeights[c] = std::max(cellHeights[c], columns->Height(c, g.definedHeight));
        totalHeight = std::max(totalHeight, cellHeights[c]);
    }
    const double totalWidth =
        static_cast<double>(cellCount) * cellWidth + static_cast<double>(cellCount - 1) * gutter;
    auto cellX = [&](std::size_t c) {
        const std::size_t place = columns && columns->flowReversed ? cellCount - 1 - c : c;
        return static_cast<double>(place) * (cellWidth + gutter);
    };
    const int attachment = std::clamp<int>(g.attachment, 1, 9);
    const int row = (attachment - 1) / 3, column = (attachment - 1) % 3;
    const double shiftY = row == 0 ? 0.0 : row == 1 ? totalHeight / 2.0 : totalHeight;
    const double boxX = column == 0 ? 0.0 : column == 1 ? -totalWidth / 2.0 : -totalWidth;
    const Vec3 normal = drawing::Normalized(e.extrusion);
    Vec3 xAxis = drawing::Normalized(g.xDirection);
    if (drawing::Length(xAxis) == 0.0)
        xAxis = {1, 0, 0};
    const Vec3 yAxis = drawing::Normalized(drawing::Cross(normal, xAxis));
    const Transform local = m * Transform::FromAxes(xAxis, yAxis, normal, g.insertion);
    const double margin = std::max(0.0, g.backgroundScale - 1.0) * base;
    if (g.backgroundFill & 3)
        for (std::size_t c = 0; c < cellCount; ++c)
            MaskBehindText(g, local, boxX + cellX(c) - margin, shiftY - cellHeights[c] - margin,
                           boxX + cellX(c) + cellWidth + margin, shiftY + margin);
    if (g.Framed())
        for (std::size_t c = 0; c < cellCount; ++c) {
            const double x0 = boxX + cellX(c) - margin, x1 = boxX + cellX(c) + cellWidth + margin;
            const double y0 = shiftY - cellHeights[c] - margin, y1 = shiftY + margin;
            Rule2(local, x0, y0, x1, y0);
            Rule2(local, x1, y0, x1, y1);
            Rule2(local, x1, y1, x0, y1);
            Rule2(local, x0, y1, x0, y0);
        }
    const QColor entityColor = m_color;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const Line& line = lines[i];
        const double left = boxX + cellX(lineColumn[i]);
        const char align = line.atoms.empty() ? 0 : line.atoms.front().piece->format.paragraphAlign;
        const int place = align == 'c' ? 1 : align == 'r' ? 2 : align != 0 ? 0 : column;
        double x = place == 0   ? left
                   : place == 1 ? left + (cellWidth - line.width) / 2.0
                                : left + cellWidth - line.width;
        // Justified lines but a paragraph's last fill the width: the room left goes to the
        // blanks between their words.
        double stretch = 0.0;
        if ((align == 'j' || align == 'd') && !line.paragraphEnd && line.width < cellWidth) {
            const auto blanks = std::count_if(line.atoms.begin(), line.atoms.end() - 1,
                                              [](const Atom& atom) { return atom.blank; });
            if (blanks > 0)
                stretch = (cellWidth - line.width) / static_cast<double>(blanks);
        }
        const double baseline = baselines[i] + shiftY;
        // Consecutive atoms of one piece are drawn as one run, so that the text stays whole.
        for (std::size_t a = 0; a < line.atoms.size();) {
            const Atom& atom = line.atoms[a];
            const MTextFormat& format = atom.piece->format;
            m_color = PieceColor(format, entityColor);
            // \A: runs smaller than the line sit on its baseline, centre or top.
            const double lift = format.verticalAlign == 1   ? (line.height - atom.height) / 2
                                : format.verticalAlign == 2 ? line.height - atom.height
                                                            : 0.0;
            if (atom.piece->stacked) {
                DrawStack(d, g.style, *atom.piece, atom.height, x, baseline + lift, local);
                x += atom.width;
                ++a;
                continue;
            }
            QString run;
            double width = 0.0;
            std::size_t b = a;
            for (; b < line.atoms.size() && line.atoms[b].piece == atom.piece; ++b) {
                run += line.atoms[b].text;
                width += line.atoms[b].width;
                if (stretch > 0.0 && line.atoms[b].blank) {
                    ++b; // a stretched blank ends the run
                    break;
                }
            }
            const TextFrame frame = PieceFrame(d, g.style, format, atom.height);
            const ShxTextFont* shapes = PieceShapes(d, g.style, format);
            const bool ink = !run.trimmed().isEmpty();
            if (ink && shapes)
                ShapeGlyphs(*shapes, frame, run, atom.height, x, baseline + lift,
                            format.widthFactor, format.obliqueDeg, local);
            else if (ink)
                Glyphs(frame, run, x, baseline + lift, format.widthFactor, format.obliqueDeg,
                       local);
            const double rules[3] = {format.underline ? -0.2 : NAN, format.overline ? 1.2 : NAN,
                                     format.strike ? 0.5 : NAN};
            for (double at : rules)
                if (!std::isnan(at))
                    Rule(local, x, x + width, baseline + lift + at * atom.height);
            x += width;
            if (stretch > 0.0 && line.atoms[b - 1].blank && b < line.atoms.size())
                x += stretch;
            a = b;
        }
    }
    m_color = entityColor;
}

void Pass::MaskBehindText(const drawing::MTextGeometry& g, const Transform& local, double x0,
                          double y0, double x1, double y1) {
    QColor fill = m_options.background;
    if ((g.backgroundFill & 2) == 0) {
        const QColor drawn = g.backgroundTrueColor >= 0
                                 ? QColor::fromRgb(static_cast<QRgb>(g.backgroundTrueColor))
                                 : AciColor(std::clamp<int>(g.backgroundColor, 1, 255));
        fill = Styled(drawn, g.backgroundTrueColor >= 0 ? 0 : g.backgroundColor, 0.0).color;
    }
    QPolygonF box;
    box << Dev(local, {x0, y0, 0}) << Dev(local, {x1, y0, 0}) << Dev(local, {x1, y1, 0})
        << Dev(local, {x0, y1, 0});
    QPainterPath path;
    path.addPolygon(box);
    path.closeSubpath();
    m_canvas.Fill(path, fill);
}

QColor Pass::PieceColor(const MTextFormat& format, const QColor& entityColor) const {
    QColor color = entityColor; // the entity's own, BYLAYER and BYBLOCK alike
    if (format.rgb >= 0)
        color = DeviceColor(QColor::fromRgb(static_cast<QRgb>(format.rgb)));
    else if (format.aci >= 1 && format.aci <= 255)
        color = DeviceColor(format.aci == 7 ? QColor() : AciColor(format.aci));
    color.setAlpha(entityColor.alpha()); // the entity's transparency
    return color;
}

void Pass::Rule(const Transform& local, double x0, double x1, double y) {
    Rule2(local, x0, y, x1, y);
}

void Pass::DrawStack(const Document& d, const std::string& style, const MTextPiece& piece,
                     double height, double x, double baseline, const Transform& local) {
    const MTextFormat& format = piece.format;
    const TextFrame frame = PieceFrame(d, style, format, height * kStackScale);
    const QString upper = QString::fromStdString(piece.upper);
    const QString lower = QString::fromStdString(piece.lower);
    const double upperWidth = Advance(frame, upper, format);
    const double lowerWidth = Advance(frame, lower, format);
    const double small = height * kStackScale;
    const double gap = 0.1 * height;
    if (piece.stackKind == '#') {
        Glyphs(frame, upper, x + gap, baseline + height - small, format.widthFactor,
               format.obliqueDeg, local);
        const double slashX = x + gap + upperWidth + 0.25 * height;
        Rule2(local, slashX - 0.2 * height, baseline, slashX + 0.2 * height, baseline + height);
        Glyphs(frame, lower, slashX + 0.25 * height, baseline, format.widthFactor,
               format.obliqueDeg, local);
        return;
    }
    const double width = std::max(upperWidth, lowerWidth);
    const double middle = baseline + height / 2.0;
    const bool tolerance = piece.stackKind == '^';
    auto start = [&](double w) { return tolerance ? x + gap : x + gap + (width - w) / 2.0; };
    if (!upper.isEmpty())
        Glyphs(frame, upper, start(upperWidth), middle + gap, format.widthFactor, format.obliqueDeg,
               local);
    if (!lower.isEmpty())
        Glyphs(frame, lower, start(lowerWidth), middle - gap - small, format.widthFactor,
               format.obliqueDeg, local);
    if (!tolerance)
        Rule(local, x + gap, x + gap + width, middle);
}

void Pass::Rule2(const Transform& local, double x0, double y0, double x1, double y1) {
    QPen pen = m_pen;
    pen.setColor(m_color);
    pen.setStyle(Qt::SolidLine);
    m_canvas.SetPen(pen);
    m_canvas.Lines({QLineF(Dev(local, {x0, y0, 0}), Dev(local, {x1, y1, 0}))});
    m_canvas.SetPen(m_pen);
}

} // namespace kw::render::detail
