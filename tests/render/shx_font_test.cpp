// Shape fonts built byte by byte here (no font file of any vendor is used): what their shapes
// draw, how big fonts and unicode fonts are indexed, and what damaged files do.

#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "drawing/extents.h"
#include "render/pdf_text.h"
#include "render/render.h"
#include "render/shx_font.h"
#include "shx_files.h"
#include "test_support.h"

namespace kw::render {
namespace {

using namespace shx_files;

// Above 6, below 2. A: two strokes, advance 6. B: scale, push/pop, a vertical-only move.
// C: A as a subshape, then a half circle counter-clockwise. D: bulge arcs. E: a fractional arc
// into X-Y displacements. F: a fractional arc with offsets. L/M call each other; N calls
// itself.
std::string TestFont() {
    return RegularFont({
        {0, Name("test font") + B({6, 2, 0, 0})},
        {'A', Name("A") + B({0x34, 2, 0x20, 1, 8, 2, -3, 2, 8, 2, 0, 0})},
        {'B', Name("B") + B({4, 2, 0x12, 5, 0x10, 6, 3, 2, 0x1C, 14, 8, 10, 10, 2, 8, 3, -1, 0})},
        {'C', Name("C") + B({7, 'A', 1, 10, 2, 0x04, 2, 8, 2, 0, 0})},
        {'D', Name("D") + B({12, 4, 0, 127, 13, 0, 4, -127, 0, 0, 2, 8, 6, -4, 0})},
        {'E', Name("E") + B({11, 0, 0, 0, 3, 0x02, 9, 1, 1, 1, -1, 0, 0, 0})},
        {'F', Name("F") + B({11, 128, 128, 0, 4, 0x12, 0})},
        {'G', Name("G") + B({10, 2, -0x04, 0})},
        {'L', Name("L") + B({7, 'M', 0})},
        {'M', Name("M") + B({7, 'L', 0x10, 0})},
        {'N', Name("N") + B({0x10, 7, 'N', 0x10, 0})},
    });
}

void ExpectPoint(const ShxPoint& p, double x, double y) {
    EXPECT_NEAR(p.x, x, 1e-9);
    EXPECT_NEAR(p.y, y, 1e-9);
}

// Every point of a stroke lies at `radius` from (cx, cy).
void ExpectOnCircle(const std::vector<ShxPoint>& stroke, double cx, double cy, double radius) {
    for (const ShxPoint& p : stroke)
        EXPECT_NEAR(std::hypot(p.x - cx, p.y - cy), radius, 1e-9);
}

TEST(ShxFont, VectorsPenUpAndDownScaleAndPositionStackDrawExactStrokes) {
    const ShxFont font = ShxFont::Parse(TestFont());
    ASSERT_TRUE(font.Loaded()) << font.Error();
    EXPECT_EQ(font.Kind(), ShxKind::Shapes);
    EXPECT_EQ(font.Name(), "test font");
    EXPECT_EQ(font.Above(), 6);
    EXPECT_EQ(font.Below(), 2);

    const auto a = font.Glyph('A');
    ASSERT_TRUE(a);
    ASSERT_EQ(a->strokes.size(), 2u);
    EXPECT_EQ(a->strokes[0], (std::vector<ShxPoint>{{0, 0}, {0, 3}}));
    EXPECT_EQ(a->strokes[1], (std::vector<ShxPoint>{{2, 3}, {4, 0}}));
    EXPECT_EQ(a->advance, 6);

    // Doubled vectors until the pop; the vertical-only displacement is not taken.
    const auto b = font.Glyph('B');
    ASSERT_TRUE(b);
    ASSERT_EQ(b->strokes.size(), 2u);
    EXPECT_EQ(b->strokes[0], (std::vector<ShxPoint>{{0, 0}, {2, 2}, {4, 2}}));
    EXPECT_EQ(b->strokes[1], (std::vector<ShxPoint>{{2, 2}, {2, 1}}));
    EXPECT_EQ(b->advance, 5);

    EXPECT_FALSE(font.Glyph('Z'));
}

TEST(ShxFont, ArcsEndWhereTheirCodesSayAndFollowTheirCircles) {
    const ShxFont font = ShxFont::Parse(TestFont());
    ASSERT_TRUE(font.Loaded()) << font.Error();

    // A's strokes through the subshape, then a half circle of radius 2 around (4, 0) over the
    // top, from the pen's place after A.
    const auto c = font.Glyph('C');
    ASSERT_TRUE(c);
    ASSERT_EQ(c->strokes.size(), 3u);
    EXPECT_EQ(c->strokes[1], (std::vector<ShxPoint>{{2, 3}, {4, 0}}));
    const auto& half = c->strokes[2];
    ExpectPoint(half.front(), 6, 0);
    ExpectPoint(half.back(), 2, 0);
    ExpectOnCircle(half, 4, 0, 2);
    ExpectPoint(half[half.size() / 2], 4, 2);
    EXPECT_EQ(c->advance, 4);

    // Clockwise: the same half circle below.
    const auto g = font.Glyph('G');
    ASSERT_TRUE(g);
    ASSERT_EQ(g->strokes.size(), 1u);
    ExpectPoint(g->strokes[0].back(), -4, 0);
    ExpectPoint(g->strokes[0][g->strokes[0].size() / 2], -2, -2);
    ExpectOnCircle(g->strokes[0], -2, 0, 2);

    // Bulge 127 is a half circle, counter-clockwise below a chord going right; -127 clockwise
    // left of a chord going up.
    const auto d = font.Glyph('D');
    ASSERT_TRUE(d);
    ASSERT_EQ(d->strokes.size(), 1u);
    const auto& bulges = d->strokes[0];
    ExpectPoint(bulges.front(), 0, 0);
    ExpectPoint(bulges.back(), 4, 4);
    bool below = false, left = false;
    for (const ShxPoint& p : bulges) {
        below = below || (std::fabs(p.x - 2) < 1e-9 && std::fabs(p.y + 2) < 1e-9);
        left = left || (std::fabs(p.x - 2) < 1e-9 && std::fabs(p.y - 2) < 1e-9);
    }
    EXPECT_TRUE(below);
    EXPECT_TRUE(left);
    EXPECT_EQ(d->advance, 10);

    // Two whole octants of radius 3 from angle 0, then displacements in the same stroke.
    const auto e = font.Glyph('E');
    ASSERT_TRUE(e);
    ASSERT_EQ(e->strokes.size(), 1u);
    const auto& quarter = e->strokes[0];
    ASSERT_GE(quarter.size(), 4u);
    ExpectPoint(quarter[quarter.size() - 3], -3, 3);
    ExpectOnCircle({quarter.begin(), quarter.end() - 2}, -3, 0, 3);
    ExpectPoint(quarter[quarter.size() - 2], -2, 4);
    ExpectPoint(quarter.back(), -1, 3);

    // From 67.5° to 112.5°: the chord is level and 2 r cos 67.5° long.
    const auto f = font.Glyph('F');
    ASSERT_TRUE(f);
    ASSERT_EQ(f->strokes.size(), 1u);
    const ShxPoint from = f->strokes[0].front(), to = f->strokes[0].back();
    EXPECT_NEAR(to.y - from.y, 0.0, 1e-9);
    EXPECT_NEAR(to.x - from.x, -8 * std::cos(3 * 3.14159265358979323846 / 8), 1e-9);
}

TEST(ShxFont, SubshapeLoopsAndRunawayNestingEnd) {
    const ShxFont font = ShxFont::Parse(TestFont());
    ASSERT_TRUE(font.Loaded()) << font.Error();
    const auto l = font.Glyph('L');
    ASSERT_TRUE(l);
    ASSERT_EQ(l->strokes.size(), 1u);
    EXPECT_EQ(l->strokes[0], (std::vector<ShxPoint>{{0, 0}, {1, 0}}));
    const auto n = font.Glyph('N');
    ASSERT_TRUE(n);
    EXPECT_EQ(n->advance, 2);

    // Each shape calls the next twice: 2^40 calls if nothing stopped it.
    Shapes shapes{{0, Name("") + B({4, 0, 0, 0})}};
    for (int k = 1; k <= 40; ++k)
        shapes.push_back(
            {static_cast<std::uint16_t>(k), Name("") + B({7, k + 1, 7, k + 1, 0x10, 0})});
    const ShxFont fan = ShxFont::Parse(RegularFont(shapes));
    ASSERT_TRUE(fan.Loaded()) << fan.Error();
    const auto glyph = fan.Glyph(1);
    ASSERT_TRUE(glyph);
    EXPECT_GT(glyph->advance, 1000);
    EXPECT_LT(glyph->advance, 1e6);
}

TEST(ShxFont, DamagedFilesAreNotLoadedAndSayWhy) {
    const std::string good = TestFont();
    for (std::size_t size = 0; size < good.size(); ++size) {
        const ShxFont font = ShxFont::Parse(std::string_view(good).substr(0, size));
        EXPECT_FALSE(font.Loaded()) << size;
        EXPECT_FALSE(font.Error().empty()) << size;
    }
    EXPECT_EQ(ShxFont::Parse("AutoCAD-86 shapes 1.0").Error(), "not a shape font (no header)");
    const ShxFont other = ShxFont::Parse(std::string("AutoCAD-87 vectors\r\n\x1A") + good);
    EXPECT_FALSE(other.Loaded());
    EXPECT_NE(other.Error().find("AutoCAD-87 vectors"), std::string::npos);

    // A shape whose last command is cut short draws what comes before it.
    const ShxFont cut = ShxFont::Parse(RegularFont({{0, Name("") + B({6, 2, 0, 0})},
                                                    {'A', Name("A") + B({0x20, 8, 1})},
                                                    {'B', Name("B") + B({0x20, 11, 0, 0})}}));
    ASSERT_TRUE(cut.Loaded()) << cut.Error();
    EXPECT_EQ(cut.Glyph('A')->strokes, (std::vector<std::vector<ShxPoint>>{{{0, 0}, {2, 0}}}));
    EXPECT_EQ(cut.Glyph('B')->advance, 2);

    EXPECT_FALSE(ShxFont::Load("no such folder/none.shx").Loaded());
}

// The unicode font: € draws A as a two-byte subshape, then a stroke of its own.
std::string TestUnifont() {
    return Unifont(Name("uni") + B({10, 3, 0, 0, 0, 0}),
                   {{0x0041, Name("A") + B({0x40, 2, 0x20, 0})},
                    {0x20AC, Name("euro") + B({7, 0x00, 0x41, 1, 8, 0, 5, 2, 8, 2, -5, 0})}});
}

// The big font: 中 (GBK D6D0) is a primitive at full size, the same primitive at half width
// 4 units up, and a stroke of its own; it leaves the pen inside its 8-unit cell.
std::string TestBigFont() {
    return BigFont({{0, Name("big") + B({8, 0, 0, 8, 0})},
                    {0x0102, Name("") + B({0x80, 0})},
                    {0xD6D0, Name("") + B({7,    0, 0x01, 0x02, 0, 0,    8, 8, 7, 0,  0x01,
                                           0x02, 0, 4,    4,    8, 0x84, 2, 8, 4, -8, 0})}});
}

TEST(ShxFont, UnicodeAndBigFontsAreIndexedByTheirOwnCodes) {
    const ShxFont uni = ShxFont::Parse(TestUnifont());
    ASSERT_TRUE(uni.Loaded()) << uni.Error();
    EXPECT_EQ(uni.Kind(), ShxKind::Unifont);
    EXPECT_EQ(uni.Above(), 10);
    const auto euro = uni.Glyph(0x20AC);
    ASSERT_TRUE(euro);
    EXPECT_EQ(euro->strokes,
              (std::vector<std::vector<ShxPoint>>{{{0, 0}, {4, 0}}, {{6, 0}, {6, 5}}}));
    EXPECT_EQ(euro->advance, 8);

    const ShxFont big = ShxFont::Parse(TestBigFont());
    ASSERT_TRUE(big.Loaded()) << big.Error();
    EXPECT_EQ(big.Kind(), ShxKind::Bigfont);
    EXPECT_EQ(big.Above(), 8);
    EXPECT_EQ(big.CellWidth(), 8);
    EXPECT_TRUE(big.IsLeadByte(0xD6));
    EXPECT_FALSE(big.IsLeadByte('A'));
    const auto zhong = big.Glyph(0xD6D0);
    ASSERT_TRUE(zhong);
    EXPECT_EQ(zhong->strokes, (std::vector<std::vector<ShxPoint>>{
                                  {{0, 0}, {8, 0}}, {{0, 4}, {4, 4}}, {{0, 0}, {0, 8}}}));
    EXPECT_EQ(zhong->advance, 4);

    const std::string good = TestBigFont();
    for (std::size_t size = 0; size < good.size(); ++size)
        EXPECT_FALSE(ShxFont::Parse(std::string_view(good).substr(0, size)).Loaded()) << size;
}

TEST(ShxTextFont, BigFontCharactersComeFirstAndEveryGlyphIsInTextHeights) {
    const auto regular = std::make_shared<ShxFont>(ShxFont::Parse(TestFont()));
    const auto big = std::make_shared<ShxFont>(ShxFont::Parse(TestBigFont()));
    const ShxTextFont text(regular, big);

    const auto zhong = text.Glyph(U'中');
    ASSERT_TRUE(zhong);
    EXPECT_EQ(zhong->strokes, (std::vector<std::vector<ShxPoint>>{
                                  {{0, 0}, {1, 0}}, {{0, 0.5}, {0.5, 0.5}}, {{0, 0}, {0, 1}}}));
    EXPECT_EQ(zhong->advance, 1.0); // the cell, not where the pen stopped

    const auto a = text.Glyph(U'A');
    ASSERT_TRUE(a);
    EXPECT_EQ(a->strokes[0], (std::vector<ShxPoint>{{0, 0}, {0, 0.5}}));
    EXPECT_EQ(a->advance, 1.0);

    EXPECT_FALSE(text.Glyph(U'啊')); // in GBK, but not in this big font
    EXPECT_FALSE(text.Glyph(U'€'));  // not in GBK's double bytes, and beyond a regular font
    // 啊 keeps the cell the big font would give it.
    EXPECT_DOUBLE_EQ(text.Advance("A中啊", 0.5), 3.0);

    const ShxTextFont unicode(std::make_shared<ShxFont>(ShxFont::Parse(TestUnifont())), nullptr);
    const auto euro = unicode.Glyph(U'€');
    ASSERT_TRUE(euro);
    EXPECT_DOUBLE_EQ(euro->advance, 0.8);
}

class FontLibraryTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_folder = std::filesystem::temp_directory_path() /
                   ("kw_shx_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                    "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(m_folder);
        Write("GBENOR.SHX", TestFont());
        Write("GbcBig.shx", TestBigFont());
        Write("broken.shx", "AutoCAD-86 shapes 1.0\r\n\x1A\x01");
    }
    void TearDown() override { std::filesystem::remove_all(m_folder); }

    void Write(const std::string& name, const std::string& bytes) {
        std::ofstream(m_folder / name, std::ios::binary) << bytes;
    }

    std::filesystem::path m_folder;
};

TEST_F(FontLibraryTest, FindsFontsByNameInAnyCaseAndNamesAMissingFontOnce) {
    FontLibrary library({(m_folder / "not there").string(), m_folder.string()});
    const auto font = library.Find("C:\\Fonts\\gbenor.shx");
    ASSERT_TRUE(font);
    EXPECT_TRUE(font->HasShape('A'));
    EXPECT_EQ(library.Find("GBENOR"), font); // loaded once

    const auto text = library.TextFont("gbenor.shx", "gbcbig.shx");
    ASSERT_TRUE(text);
    EXPECT_TRUE(text->Glyph(U'中'));
    EXPECT_EQ(library.TextFont("GBENOR.shx", "GBCBIG.SHX"), text);
    EXPECT_FALSE(library.TextFont("simsun.ttc", "gbcbig.shx")); // TrueType styles ignore it

    // The style's own font missing: the big font still draws its characters.
    const auto bigOnly = library.TextFont("hztxt.shx", "gbcbig.shx");
    ASSERT_TRUE(bigOnly);
    EXPECT_TRUE(bigOnly->Glyph(U'中'));
    EXPECT_FALSE(bigOnly->Glyph(U'A'));

    EXPECT_FALSE(library.Find("hztxt.shx"));
    EXPECT_FALSE(library.Find("broken.shx"));
    EXPECT_FALSE(library.Find("Broken.SHX"));
    const auto warnings = library.TakeWarnings();
    ASSERT_EQ(warnings.size(), 2u);
    EXPECT_EQ(warnings[0], "font not found: hztxt.shx");
    EXPECT_EQ(warnings[1].rfind("font not loaded: broken.shx (", 0), 0u);
    EXPECT_TRUE(library.TakeWarnings().empty());
}

// A4 landscape, the window (0, 0)-(200, 100) plotted 1:1 at (10, 10) mm, 10 pixels a millimetre:
// drawing point (x, y) lands on pixel (10 (10 + x), 10 (200 - y)).
QImage PlotA4(const Renderer& renderer) {
    drawing::LayoutPlotSettings settings;
    settings.paperWidthMm = 297;
    settings.paperHeightMm = 210;
    settings.paperUnits = 1;
    settings.windowMaxX = 200;
    settings.windowMaxY = 100;
    settings.customScalePaper = 1;
    settings.customScaleDrawing = 1;
    settings.plotOriginXMm = 10;
    settings.plotOriginYMm = 10;
    QImage page(2970, 2100, QImage::Format_RGB32);
    page.fill(Qt::white);
    {
        QPainter painter(&page);
        renderer.PaintPage(painter, 0, PlacePage(settings), 10.0, {});
    }
    return page;
}

bool Inked(const QImage& page, double x, double y) {
    return page.pixelColor(int(10 * (10 + x)), int(10 * (200 - y))) != QColor(Qt::white);
}

TEST_F(FontLibraryTest, TextInAShapeFontStyleIsDrawnFromItsStrokesOnThePage) {
    using drawing::test::T;
    // 中 then A, 16 high, at (20, 20); and a text whose style names a font that is not there.
    drawing::Document document = drawing::test::FromTags(
        T(0, "TEXT") + T(8, "0") + T(7, "GB") + T(10, 20.0) + T(20, 20.0) + T(30, 0.0) +
        T(40, 16.0) + T(1, "\\U+4E2DA") + T(0, "TEXT") + T(8, "0") + T(7, "LOST") + T(10, 20.0) +
        T(20, 60.0) + T(30, 0.0) + T(40, 10.0) + T(1, "x") + T(0, "TEXT") + T(8, "0") +
        T(7, "LOST") + T(10, 60.0) + T(20, 60.0) + T(30, 0.0) + T(40, 10.0) + T(1, "y"));
    drawing::TextStyle gb;
    gb.name = "GB";
    gb.fontFile = "gbenor.shx";
    gb.bigFontFile = "gbcbig.shx";
    document.textStyles.push_back(gb);
    drawing::TextStyle lost;
    lost.name = "LOST";
    lost.fontFile = "lost.shx";
    document.textStyles.push_back(lost);
    document.RebuildIndexes();

    Renderer renderer(document,
                      std::make_shared<FontLibrary>(std::vector<std::string>{m_folder.string()}));
    const QImage page = PlotA4(renderer);

    // 中 is 8 units high in its font: its strokes at twice their size.
    EXPECT_TRUE(Inked(page, 28, 20)); // the base, (20, 20)-(36, 20)
    EXPECT_TRUE(Inked(page, 35, 20));
    EXPECT_TRUE(Inked(page, 24, 28)); // the half-width primitive, (20, 28)-(28, 28)
    EXPECT_FALSE(Inked(page, 31, 28));
    EXPECT_TRUE(Inked(page, 20, 34)); // the upright, (20, 20)-(20, 36)
    EXPECT_FALSE(Inked(page, 20, 38));
    EXPECT_FALSE(Inked(page, 28, 24)); // inside the character
    // A follows at 20 + 16: its upright is 16 × 3/6 high.
    EXPECT_TRUE(Inked(page, 36, 24));
    EXPECT_FALSE(Inked(page, 36, 30));

    const auto warnings = renderer.Warnings();
    EXPECT_EQ(std::count(warnings.begin(), warnings.end(), "font not found: lost.shx"), 1);
}

// The page of PlotA4 as a PDF file, its text given its characters when `capture`.
std::string PlotA4Pdf(const Renderer& renderer, bool capture, bool* applied = nullptr) {
    drawing::LayoutPlotSettings settings;
    settings.paperWidthMm = 297;
    settings.paperHeightMm = 210;
    settings.paperUnits = 1;
    settings.windowMaxX = 200;
    settings.windowMaxY = 100;
    settings.customScalePaper = 1;
    settings.customScaleDrawing = 1;
    QBuffer made;
    made.open(QIODevice::WriteOnly);
    QPdfWriter writer(&made);
    writer.setResolution(600);
    writer.setPageLayout(QPageLayout(QPageSize(QSizeF(297, 210), QPageSize::Millimeter),
                                     QPageLayout::Portrait, QMarginsF(), QPageLayout::Millimeter));
    std::optional<PdfTextCapture> text;
    if (capture)
        text.emplace(&writer);
    {
        QPainter painter(&writer);
        renderer.PaintPage(painter, 0, PlacePage(settings), 600 / 25.4, {});
    }
    std::string pdf = made.data().toStdString();
    if (text) {
        const bool done = text->Apply(pdf);
        if (applied)
            *applied = done;
    }
    return pdf;
}

// Runs a poppler tool on the PDF bytes: "pdftotext F -", "pdftoppm -r 50 -gray F".
std::string Poppler(const std::string& pdf, const std::string& tool, const std::string& tail,
                    const std::filesystem::path& folder) {
    const auto file = folder / "page.pdf";
    std::ofstream(file, std::ios::binary) << pdf;
    std::string out;
    if (FILE* pipe = popen((tool + " '" + file.string() + "' " + tail).c_str(), "r")) {
        char buffer[4096];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
            out.append(buffer, n);
        pclose(pipe);
    }
    return out;
}

// The PDF's text is the drawing's: TrueType text whose glyphs Qt's writer would map back to
// look-alikes (角 to the radical ⻆, 毛 to ⽑) or to nothing (a digit after a Latin letter), and
// text drawn from shape-font strokes, which gets its characters as invisible text. The ink is
// the same as without.
TEST_F(FontLibraryTest, APdfPageGivesBackTheCharactersOfItsTextAndKeepsItsInk) {
    using drawing::test::T;
    drawing::Document document = drawing::test::FromTags(
        T(0, "TEXT") + T(8, "0") + T(10, 10.0) + T(20, 70.0) + T(30, 0.0) + T(40, 5.0) +
        T(1, "\\U+672A\\U+6CE8\\U+5706\\U+89D2R2\\U+3002 Rev. 2 DL3DL \\U+6BDB\\U+523A") +
        T(0, "MTEXT") + T(8, "0") + T(10, 10.0) + T(20, 50.0) + T(30, 0.0) + T(40, 5.0) +
        T(1, "A1\\P\\U+56FE\\U+53F7 X-20") + T(0, "TEXT") + T(8, "0") + T(7, "GB") + T(10, 10.0) +
        T(20, 20.0) + T(30, 0.0) + T(40, 16.0) + T(1, "\\U+4E2DA"));
    drawing::TextStyle gb;
    gb.name = "GB";
    gb.fontFile = "gbenor.shx";
    gb.bigFontFile = "gbcbig.shx";
    document.textStyles.push_back(gb);
    document.RebuildIndexes();
    Renderer renderer(document,
                      std::make_shared<FontLibrary>(std::vector<std::string>{m_folder.string()}));

    bool applied = false;
    const std::string captured = PlotA4Pdf(renderer, true, &applied);
    EXPECT_TRUE(applied);
    std::string text = Poppler(captured, "pdftotext", "-", m_folder);
    text.erase(std::remove(text.begin(), text.end(), '\n'), text.end());
    for (const char* expected :
         {"未注圆角R2。", "Rev. 2", "DL3DL", "毛刺", "A1", "图号", "X-20", "中A"})
        EXPECT_NE(text.find(expected), std::string::npos) << expected << " in " << text;
    EXPECT_EQ(text.find("⻆"), std::string::npos);

    const std::string plain = PlotA4Pdf(renderer, false);
    const std::string inkCaptured = Poppler(captured, "pdftoppm", "-r 100 -gray", m_folder);
    const std::string inkPlain = Poppler(plain, "pdftoppm", "-r 100 -gray", m_folder);
    EXPECT_GT(inkPlain.size(), 1000u);
    EXPECT_TRUE(inkCaptured == inkPlain);

    // A file whose text objects are not those noted is left as it is.
    QBuffer other;
    other.open(QIODevice::WriteOnly);
    QPdfWriter writer(&other);
    PdfTextCapture capture(&writer);
    {
        QPainter painter(&writer);
        DrawTextRun(painter, QPointF(100, 100), QStringLiteral("R2"));
    }
    capture.Add({QStringLiteral("x"), 1, false});
    std::string pdf = other.data().toStdString();
    const std::string before = pdf;
    EXPECT_FALSE(capture.Apply(pdf));
    EXPECT_EQ(pdf, before);
}

TEST_F(FontLibraryTest, ALinetypeDrawsShapesFromItsShapeFileAlongTheLine) {
    using drawing::test::T;
    auto line = [](double x0, double y0, double x1, double y1, const char* linetype) {
        return T(0, "LINE") + T(8, "0") + T(6, linetype) + T(10, x0) + T(20, y0) + T(30, 0.0) +
               T(11, x1) + T(21, y1) + T(31, 0.0);
    };
    // Dash 10, gap 10 carrying shape A of gbenor.shx 6 high (its capital height: one font unit
    // is one drawing unit), 7.95 back from the gap's end: from each period's start p the dash
    // runs over p..p + 10 and A stands at p + 12.05, turned with the line. UPRIGHT turns it
    // absolutely, TURNED by 180 degrees more; LOST names a shape file that is not there.
    drawing::Document document = drawing::test::FromTags(
        line(20, 49.95, 180, 49.95, "TRACK") + line(190.05, 10, 190.05, 90, "TRACK") +
        line(170.05, 10, 170.05, 90, "UPRIGHT") + line(20, 29.95, 150, 29.95, "LOST") +
        line(20, 19.95, 150, 19.95, "LOST") + line(20, 79.95, 60, 79.95, "TURNED"));
    drawing::TextStyle shapes;
    shapes.name = "SHAPES";
    shapes.handle = 0x12;
    shapes.flags = 1;
    shapes.fontFile = "gbenor.shx";
    document.textStyles.push_back(shapes);
    shapes.name = "LOSTSHAPES";
    shapes.handle = 0x13;
    shapes.fontFile = "lost.shx";
    document.textStyles.push_back(shapes);
    drawing::Linetype track;
    track.name = "TRACK";
    track.dashes = {10, -10};
    drawing::LinetypeShape a;
    a.dash = 1;
    a.flags = 4;
    a.shapeNumber = 'A';
    a.style = 0x12;
    a.scale = 6;
    a.offsetX = -7.95;
    track.shapes.push_back(a);
    document.linetypes.push_back(track);
    track.name = "UPRIGHT";
    track.shapes[0].flags = 4 | 1;
    document.linetypes.push_back(track);
    track.name = "TURNED";
    track.shapes[0].flags = 4;
    track.shapes[0].rotationDeg = 180;
    document.linetypes.push_back(track);
    track.name = "LOST";
    track.shapes[0].rotationDeg = 0;
    track.shapes[0].style = 0x13;
    document.linetypes.push_back(track);
    document.RebuildIndexes();

    Renderer renderer(document,
                      std::make_shared<FontLibrary>(std::vector<std::string>{m_folder.string()}));
    const QImage page = PlotA4(renderer);

    for (double p = 20; p + 20 <= 180; p += 20) {
        EXPECT_TRUE(Inked(page, p + 5, 49.95)) << p;
        EXPECT_TRUE(Inked(page, p + 12.05, 51.5)) << p;  // A's upright, (0, 0)-(0, 3)
        EXPECT_TRUE(Inked(page, p + 15.05, 51.45)) << p; // its slant, (2, 3)-(4, 0)
        EXPECT_FALSE(Inked(page, p + 13, 51.5)) << p;
        EXPECT_FALSE(Inked(page, p + 11, 49.95)) << p;
        EXPECT_FALSE(Inked(page, p + 18, 49.95)) << p;
    }
    for (double q = 10; q + 20 <= 90; q += 20) {
        // Going up, A lies on its side: its upright runs to the left of the line.
        EXPECT_TRUE(Inked(page, 188.5, q + 12.05)) << q;
        EXPECT_FALSE(Inked(page, 190.05, q + 13.5)) << q;
        // Turned absolutely, it stands upright in the gap.
        EXPECT_TRUE(Inked(page, 170.05, q + 13.5)) << q;
        EXPECT_FALSE(Inked(page, 168.5, q + 12.05)) << q;
    }
    // Turned half round, A hangs below the line.
    EXPECT_TRUE(Inked(page, 32.05, 78.5));
    EXPECT_FALSE(Inked(page, 32.05, 81.5));
    // Without its shape file the line keeps its dashes, and the file is named once.
    EXPECT_TRUE(Inked(page, 25, 29.95));
    EXPECT_FALSE(Inked(page, 35, 29.95));
    EXPECT_TRUE(Inked(page, 45, 29.95));
    const auto warnings = renderer.Warnings();
    EXPECT_EQ(std::count(warnings.begin(), warnings.end(), "font not found: lost.shx"), 1);
}

TEST_F(FontLibraryTest, MultilineTextInAShapeFontStyleIsDrawnFromItsStrokes) {
    using drawing::test::T;
    // 中A, 16 high, its lower-left corner (attachment 7) at (100, 20): the baseline there.
    drawing::Document document = drawing::test::FromTags(
        T(0, "MTEXT") + T(8, "0") + T(7, "GB") + T(10, 100.0) + T(20, 20.0) + T(30, 0.0) +
        T(40, 16.0) + T(71, "7") + T(1, "\\U+4E2DA"));
    drawing::TextStyle gb;
    gb.name = "GB";
    gb.fontFile = "gbenor.shx";
    gb.bigFontFile = "gbcbig.shx";
    document.textStyles.push_back(gb);
    document.RebuildIndexes();

    const Renderer renderer(
        document, std::make_shared<FontLibrary>(std::vector<std::string>{m_folder.string()}));
    const QImage page = PlotA4(renderer);
    EXPECT_TRUE(Inked(page, 108, 20)); // 中's base, (100, 20)-(116, 20)
    EXPECT_TRUE(Inked(page, 104, 28)); // its half-width primitive
    EXPECT_FALSE(Inked(page, 111, 28));
    EXPECT_TRUE(Inked(page, 100, 34));  // its upright
    EXPECT_FALSE(Inked(page, 108, 24)); // inside the character
    EXPECT_TRUE(Inked(page, 116, 24));  // A's upright, 16 × 3/6 high
    EXPECT_FALSE(Inked(page, 116, 30));
}

TEST_F(FontLibraryTest, VerticalTextStacksItsCharactersDownwardsFromTheInsertionPoint) {
    using drawing::test::T;
    // "AAA" 10 high at (100, 90) in a vertical style: each A centred on x = 100 (its upright at
    // 95), the baselines 10, 25 and 40 below the insertion point.
    drawing::Document document =
        drawing::test::FromTags(T(0, "TEXT") + T(8, "0") + T(7, "UPRIGHT") + T(10, 100.0) +
                                T(20, 90.0) + T(30, 0.0) + T(40, 10.0) + T(1, "AAA"));
    drawing::TextStyle upright;
    upright.name = "UPRIGHT";
    upright.fontFile = "gbenor.shx";
    upright.flags = 4;
    document.textStyles.push_back(upright);
    document.RebuildIndexes();

    const Renderer renderer(
        document, std::make_shared<FontLibrary>(std::vector<std::string>{m_folder.string()}));
    const QImage page = PlotA4(renderer);
    for (const double baseline : {80.0, 65.0, 50.0}) {
        EXPECT_TRUE(Inked(page, 95, baseline + 2)) << baseline;
        EXPECT_FALSE(Inked(page, 95, baseline + 7)) << baseline;
    }
    // The ink is taller than wide, and nothing stands to the right as a horizontal text would.
    int left = 3000, right = 0, top = 3000, bottom = 0;
    for (int y = 0; y < page.height(); ++y)
        for (int x = 0; x < page.width(); ++x)
            if (page.pixelColor(x, y) != QColor(Qt::white)) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
    EXPECT_GT(bottom - top, 3 * (right - left));
    EXPECT_LT(right, 10 * (10 + 102));

    // Measured (and picked) the same way: a column from 40 below the insertion point up to it.
    const auto& text = document.LayoutEntities(document.layouts.front()).front();
    const drawing::Box box = drawing::EntityExtents(document, text);
    EXPECT_NEAR(box.min.y, 50.0, 1e-9);
    EXPECT_NEAR(box.max.y, 90.0, 1e-9);
    EXPECT_NEAR(box.min.x + box.max.x, 200.0, 1e-9);
    EXPECT_LT(box.max.x - box.min.x, 10.0);

    // A TrueType style stays horizontal whatever its flag says.
    document.textStyles.back().fontFile = "simsun.ttc";
    const drawing::Box flat =
        drawing::EntityExtents(document, document.LayoutEntities(document.layouts.front()).front());
    EXPECT_NEAR(flat.min.y, 90.0, 1e-9);
}

} // namespace
} // namespace kw::render
