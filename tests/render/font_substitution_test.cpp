// Fonts that are not installed: text keeps the room its shape fonts would give it, the office's
// font map chooses what draws instead, and each substitution is noted once.

#include <gtest/gtest.h>

#include <QFontDatabase>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "base/text_file.h"
#include "drawing/detail/codepage.h"
#include "render/drawn_extents.h"
#include "render/font_map.h"
#include "render/fonts.h"
#include "render/render.h"
#include "render/shx_font.h"
#include "shx_files.h"
#include "test_support.h"
#include "tests/support/temp_folder.h"

namespace kw::render {
namespace {

using namespace shx_files;
using drawing::test::T;
namespace fs = std::filesystem;

// Debian's hershey-fonts-data (scripts/setup-debian.sh installs it).
constexpr const char* kRomanSimplex = "/usr/share/hershey-fonts/rowmans.jhf";

// Hershey's Roman Simplex compiled into a regular shape font, characters 32-126: a free font of
// the drafting fonts' proportions. Its capitals are 21 units high, the baseline 9 units below
// Hershey's origin (y down); each character starts at its left position and ends at its right.
std::string RomanSimplexShapeFont() {
    std::ifstream in(kRomanSimplex, std::ios::binary);
    const std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    Shapes shapes{{0, Name("roman simplex") + B({21, 7, 0, 0})}};
    std::size_t pos = 0;
    const auto next = [&]() -> char {
        while (pos < data.size() && (data[pos] == '\n' || data[pos] == '\r'))
            ++pos;
        return pos < data.size() ? data[pos++] : ' ';
    };
    for (int code = 32; code <= 126 && pos < data.size(); ++code) {
        std::string header;
        for (int k = 0; k < 8; ++k)
            header += next();
        const int count = std::stoi(header.substr(5, 3));
        const int left = next() - 'R';
        const int right = next() - 'R';
        std::string spec = B({2});
        int x = 0, y = 0;
        bool down = false;
        for (int k = 1; k < count; ++k) {
            const char cx = next(), cy = next();
            if (cx == ' ' && cy == 'R') {
                spec += B({2});
                down = false;
                continue;
            }
            const int px = cx - 'R' - left, py = 9 - (cy - 'R');
            spec += B({8, px - x, py - y});
            if (!down)
                spec += B({1});
            down = true;
            x = px;
            y = py;
        }
        spec += B({2, 8, right - left - x, -y, 0});
        shapes.push_back({static_cast<std::uint16_t>(code), Name("") + spec});
    }
    return RegularFont(shapes);
}

// A big font whose characters are 田 filling their 8-unit cells, as a big font's characters do,
// for each character of `text` that is double-byte in GBK.
std::string BoxBigFont(const std::string& text) {
    drawing::detail::CodePage gbk("ANSI_936", false);
    Shapes shapes{{0, Name("boxes") + B({8, 0, 0, 8, 0})}};
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::string one;
        drawing::detail::AppendUtf8(drawing::detail::NextCodePoint(text, pos), one);
        const std::string bytes = gbk.Encode(one);
        if (bytes.size() != 2)
            continue;
        const auto code = static_cast<std::uint16_t>((static_cast<unsigned char>(bytes[0]) << 8) |
                                                     static_cast<unsigned char>(bytes[1]));
        if (std::any_of(shapes.begin(), shapes.end(),
                        [&](const auto& s) { return s.first == code; }))
            continue;
        shapes.push_back(
            {code, Name("") + B({1, 8, 8, 0, 8, 0, 8,  8,  -8, 0, 8, 0, -8, 2, 8, 4,  0,
                                 1, 8, 0, 8, 2, 8, -4, -4, 1,  8, 8, 0, 2,  8, 0, -4, 0})});
    }
    std::sort(shapes.begin() + 1, shapes.end());
    return BigFont(shapes);
}

// The text as a drawing of code page 1252 holds it: every other character as \U+XXXX.
std::string Escaped(const std::string& utf8) {
    std::string out;
    std::size_t pos = 0;
    while (pos < utf8.size()) {
        const char32_t c = drawing::detail::NextCodePoint(utf8, pos);
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            char escape[16];
            std::snprintf(escape, sizeof escape, "\\U+%04X", static_cast<unsigned>(c));
            out += escape;
        }
    }
    return out;
}

struct Cell {
    double x0, y0, x1, y1;
};

std::string Lines(const Cell& c) {
    const auto line = [](double ax, double ay, double bx, double by) {
        return T(0, "LINE") + T(8, "0") + T(10, ax) + T(20, ay) + T(30, 0.0) + T(11, bx) +
               T(21, by) + T(31, 0.0);
    };
    return line(c.x0, c.y0, c.x1, c.y0) + line(c.x1, c.y0, c.x1, c.y1) +
           line(c.x1, c.y1, c.x0, c.y1) + line(c.x0, c.y1, c.x0, c.y0);
}

class FontSubstitution : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(m_folder.File("fonts"));
        fs::create_directories(m_folder.File("none"));
    }
    void Install(const std::string& name, const std::string& bytes) {
        m_folder.Write("fonts/" + name, bytes);
    }
    std::shared_ptr<FontLibrary> Library(const std::string& folder, FontMap map = {}) {
        return std::make_shared<FontLibrary>(std::vector<std::string>{m_folder.File(folder)},
                                             std::move(map), "Stand-in");
    }

    test::TempFolder m_folder;
};

// A title block whose texts name gbenor.shx and gbcbig.shx: drawn with the fonts and without
// them, each text's ink stays within 5 % of where the shape fonts put it (of the SHX ink's width
// across, of its height up and down) and inside its cell — left, centred and right-aligned
// texts, Chinese and Latin, capitals, digits and small letters, TEXT and MTEXT.
TEST_F(FontSubstitution, WithoutItsShapeFontsATitleBlocksTextKeepsItsPlaceInItsCells) {
    ASSERT_TRUE(fs::exists(kRomanSimplex)) << "install Debian's hershey-fonts-data";
    struct Entry {
        const char* what;
        Cell cell;
        std::string tags;
    };
    const auto text = [](double x, double y, double height, const std::string& content,
                         int hAlign = 0, double ax = 0, double ay = 0) {
        std::string tags = T(0, "TEXT") + T(8, "0") + T(7, "GB") + T(10, x) + T(20, y) +
                           T(30, 0.0) + T(40, height) + T(1, Escaped(content));
        if (hAlign != 0)
            tags += T(72, std::to_string(hAlign)) + T(11, ax) + T(21, ay) + T(31, 0.0);
        return tags;
    };
    const std::vector<Entry> entries = {
        {"a label, left", {0, 0, 16, 8}, text(1.5, 2.25, 3.5, "设计")},
        {"the drawing number, centred",
         {16, 0, 96, 8},
         text(0, 0, 5, "图号 KW-2026-001", 1, 56, 1.5)},
        {"the scale, right-aligned",
         {96, 0, 130, 8},
         text(0, 0, 3.5, "比例 1:100", 2, 128.5, 2.25)},
        {"a revision in small letters", {0, 8, 40, 16}, text(1.5, 10.25, 3.5, "Rev. B mm")},
        {"a multiline text",
         {40, 8, 130, 16},
         T(0, "MTEXT") + T(8, "0") + T(7, "GB") + T(10, 41.5) + T(20, 14.0) + T(30, 0.0) +
             T(40, 3.5) + T(71, "1") + T(1, Escaped("审核 Checked 2026.05"))},
    };
    std::string tags, characters;
    for (const Entry& entry : entries)
        tags += entry.tags + Lines(entry.cell);
    drawing::Document document = drawing::test::FromTags(tags);
    drawing::TextStyle gb;
    gb.name = "GB";
    gb.fontFile = "gbenor.shx";
    gb.bigFontFile = "gbcbig.shx";
    document.textStyles.push_back(gb);
    document.RebuildIndexes();

    Install("gbenor.shx", RomanSimplexShapeFont());
    Install("gbcbig.shx", BoxBigFont("设计图号比例审核"));
    const Renderer installed(document, Library("fonts"));
    const auto missingFonts = Library("none");
    const Renderer missing(document, missingFonts);

    std::size_t texts = 0;
    for (const drawing::Entity& entity : document.LayoutEntities(document.layouts.front())) {
        if (entity.type != drawing::EntityType::Text && entity.type != drawing::EntityType::MText)
            continue;
        const Entry& entry = entries[texts++];
        const drawing::Box shx = DrawnExtents(installed, entity);
        const drawing::Box standIn = DrawnExtents(missing, entity);
        ASSERT_FALSE(shx.IsEmpty()) << entry.what;
        ASSERT_FALSE(standIn.IsEmpty()) << entry.what;
        const double width = shx.max.x - shx.min.x, height = shx.max.y - shx.min.y;
        EXPECT_NEAR(standIn.min.x, shx.min.x, 0.05 * width) << entry.what;
        EXPECT_NEAR(standIn.max.x, shx.max.x, 0.05 * width) << entry.what;
        EXPECT_NEAR(standIn.min.y, shx.min.y, 0.05 * height) << entry.what;
        EXPECT_NEAR(standIn.max.y, shx.max.y, 0.05 * height) << entry.what;
        EXPECT_GT(standIn.min.x, entry.cell.x0) << entry.what;
        EXPECT_LT(standIn.max.x, entry.cell.x1) << entry.what;
        EXPECT_GT(standIn.min.y, entry.cell.y0) << entry.what;
        EXPECT_LT(standIn.max.y, entry.cell.y1) << entry.what;
    }
    EXPECT_EQ(texts, entries.size());
    EXPECT_EQ(missingFonts->TakeSubstitutions(),
              (std::vector<std::string>{"gbenor.shx → Stand-in（按 SHX 字宽）",
                                        "gbcbig.shx → Stand-in（按 SHX 字宽）"}));
}

// FontMap.ini: a font named in it draws for a missing one of either kind, the defaults for every
// other missing font of their kind, an installed font is drawn as it is; a TrueType family the
// system lacks is drawn in the family the table names, and every substitution is noted once.
TEST_F(FontSubstitution, TheFontMapChoosesWhatDrawsForAMissingFontAndEachIsNotedOnce) {
    Install("GBENOR.SHX", RomanSimplexShapeFont());
    Install("gbcbig.shx", BoxBigFont("中"));
    Install("tssdchn.shx", BoxBigFont("中"));
    // Written in GBK, as the settings files are, with a comment, an unknown section and a line
    // that says nothing.
    m_folder.Write("FontMap.ini", EncodeGbk("; 本单位的字体替换\r\n"
                                            "TSSDENG=gbenor.shx\r\n"
                                            "*.shx = gbenor.shx   ; any other font\r\n"
                                            "[BigFont]\r\n"
                                            "*.shx=gbcbig.shx\r\n"
                                            "[TrueType]\r\n"
                                            "仿宋_GB2312=Noto Serif CJK SC\r\n"
                                            "simfang.ttf=Noto Serif CJK SC\r\n"
                                            "[Colours]\r\n"
                                            "red=blue\r\n"
                                            "[Shx]\r\n"
                                            "hztxt.shx\r\n"));
    const FontMapFile file = ReadFontMap(m_folder.File("FontMap.ini"));
    ASSERT_EQ(file.problems.size(), 2u);
    EXPECT_NE(file.problems[0].find("line 9: unknown section [Colours]"), std::string::npos)
        << file.problems[0];
    EXPECT_NE(file.problems[1].find("line 12: \"hztxt.shx\" is no FONT=REPLACEMENT"),
              std::string::npos)
        << file.problems[1];
    EXPECT_EQ(file.map.ShapeFontFor("C:\\Fonts\\TSSDENG.SHX", false), "gbenor.shx");
    EXPECT_TRUE(ReadFontMap(m_folder.File("not there.ini")).map == FontMap{});

    const auto library = Library("fonts", file.map);
    const auto gbenor = library->Find("gbenor.shx");
    const auto gbcbig = library->Find("gbcbig.shx");
    ASSERT_TRUE(gbenor && gbcbig);
    struct Case {
        const char* font;
        const char* bigFont;
        const ShxFont* drawnFont;
        const ShxFont* drawnBigFont;
    };
    const Case cases[] = {
        {"tssdeng", "tssdchn.shx", gbenor.get(), library->Find("tssdchn.shx").get()},
        {"gbenor.shx", "hztxt.shx", gbenor.get(), gbcbig.get()},
        {"simplex.shx", "", gbenor.get(), nullptr},
        {"TSSDENG.SHX", "gbcbig.shx", gbenor.get(), gbcbig.get()},
    };
    for (const Case& c : cases) {
        const auto text = library->TextFont(c.font, c.bigFont);
        ASSERT_TRUE(text) << c.font;
        EXPECT_EQ(text->Font(), c.drawnFont) << c.font;
        EXPECT_EQ(text->BigFont(), c.drawnBigFont) << c.font;
    }
    EXPECT_EQ(library->TakeSubstitutions(),
              (std::vector<std::string>{"tssdeng.shx → gbenor.shx", "hztxt.shx → gbcbig.shx",
                                        "simplex.shx → gbenor.shx"}));
    EXPECT_TRUE(library->TakeSubstitutions().empty());

    // A default that is not installed either leaves the spacing to the stand-in.
    FontMap lost;
    lost.defaultFont = "nowhere.shx";
    const auto without = Library("none", lost);
    const auto standIn = without->TextFont("gbenor.shx", "");
    ASSERT_TRUE(standIn);
    EXPECT_FALSE(standIn->Font());
    EXPECT_DOUBLE_EQ(standIn->Advance("HI"), 30.0 / 21.0);
    EXPECT_EQ(without->TakeSubstitutions(),
              (std::vector<std::string>{"gbenor.shx → Stand-in（按 SHX 字宽）"}));

    drawing::TextStyle fangSong;
    fangSong.fontFile = "simfang.ttf";
    std::string missing;
    ASSERT_FALSE(QFontDatabase::hasFamily(QStringLiteral("FangSong")));
    EXPECT_EQ(StyleFont(&fangSong, &file.map, &missing).families().front(),
              QStringLiteral("Noto Serif CJK SC"));
    EXPECT_EQ(missing, "simfang.ttf");
    fangSong.fontFile.clear();
    fangSong.fontFamily = "仿宋_GB2312";
    EXPECT_EQ(StyleFont(&fangSong, &file.map, &missing).families().front(),
              QStringLiteral("Noto Serif CJK SC"));
    EXPECT_EQ(missing, "仿宋_GB2312");
    fangSong.fontFamily = "Noto Sans CJK SC";
    EXPECT_EQ(StyleFont(&fangSong, &file.map, &missing).families().front(),
              QStringLiteral("Noto Sans CJK SC"));
    EXPECT_EQ(missing, "");
}

} // namespace
} // namespace kw::render
