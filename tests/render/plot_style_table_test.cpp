// Plot style table files: every field read, the styles resolved, damaged files refused by name.

#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "render/colors.h"
#include "render/plot_style_table.h"
#include "base/error.h"
#include "style_table_files.h"

namespace kw::render {
namespace {

namespace fs = std::filesystem;

// Every field of a style, two styles given, the rest left to their defaults, and a lineweight
// table of its own.
const std::string kFullCtb = "description=\"Office pens\n"
                             "aci_table_available=TRUE\n"
                             "scale_factor=2.5\n"
                             "apply_factor=TRUE\n"
                             "custom_lineweight_display_units=0\n"
                             "aci_table{\n"
                             " 0=\"Color_1\n"
                             "}\n"
                             "plot_style{\n"
                             " 0{\n"
                             "  name=\"Color_1\n"
                             "  localized_name=\"Color_1\n"
                             "  description=\"walls\n"
                             "  color=-1040154560\n"
                             "  mode_color=-1040154560\n"
                             "  color_policy=3\n"
                             "  physical_pen_number=4\n"
                             "  virtual_pen_number=5\n"
                             "  screen=40\n"
                             "  linepattern_size=0.75\n"
                             "  linetype=2\n"
                             "  adaptive_linetype=FALSE\n"
                             "  lineweight=2\n"
                             "  fill_style=64\n"
                             "  end_style=2\n"
                             "  join_style=0\n"
                             " }\n"
                             " 6{\n"
                             "  name=\"Color_7\n"
                             "  color=-1\n"
                             "  color_policy=0\n"
                             "  screen=100\n"
                             "  lineweight=255\n"
                             "  end_style=4\n"
                             "  join_style=5\n"
                             " }\n"
                             "}\n"
                             "custom_lineweight_table{\n"
                             " 0=0.00\n"
                             " 1=0.13\n"
                             " 2=0.70\n"
                             "}\n";

TEST(PlotStyleTable, ReadsEveryFieldOfACompressedColourDependentTable) {
    const PlotStyleTable table =
        PlotStyleTable::Parse(test::CompressedTable("CTBVER1", kFullCtb), "office.ctb");
    EXPECT_EQ(table.Kind(), PlotStyleKind::ColorDependent);
    EXPECT_EQ(table.Description(), "Office pens");
    EXPECT_DOUBLE_EQ(table.ScaleFactor(), 2.5);
    EXPECT_TRUE(table.ApplyFactor());
    EXPECT_EQ(table.LineweightsMm(), (std::vector<double>{0.0, 0.13, 0.70}));
    ASSERT_EQ(table.Styles().size(), 255u);

    const PlotStyle& one = table.StyleOf(1, "");
    EXPECT_EQ(one.name, "Color_1");
    EXPECT_EQ(one.description, "walls");
    ASSERT_TRUE(one.color);
    EXPECT_EQ(*one.color, qRgb(0x00, 0x80, 0x40));
    EXPECT_TRUE(one.grayscale);
    EXPECT_TRUE(one.dithering);
    EXPECT_EQ(one.physicalPen, 4);
    EXPECT_EQ(one.virtualPen, 5);
    EXPECT_EQ(one.screenPercent, 40);
    EXPECT_DOUBLE_EQ(one.linepatternSize, 0.75);
    EXPECT_EQ(one.linetype, 2);
    EXPECT_FALSE(one.adaptiveLinetype);
    EXPECT_EQ(one.lineweightIndex, 2);
    EXPECT_EQ(one.fillStyle, 64);
    EXPECT_EQ(one.end, LineEnd::Round);
    EXPECT_EQ(one.join, LineJoin::Miter);

    const PlotStyle& seven = table.StyleOf(7, "");
    EXPECT_FALSE(seven.color);
    EXPECT_FALSE(seven.grayscale);
    EXPECT_EQ(seven.end, LineEnd::Object);
    EXPECT_EQ(seven.join, LineJoin::Object);
    // A colour the file leaves out keeps everything of the object.
    const PlotStyle& two = table.StyleOf(2, "");
    EXPECT_EQ(two.name, "Color_2");
    EXPECT_FALSE(two.color);
    EXPECT_EQ(two.linetype, PlotStyle::kObjectLinetype);
    EXPECT_EQ(two.screenPercent, 100);

    // The same text stored plain reads the same.
    const PlotStyleTable plain = PlotStyleTable::Parse(kFullCtb, "office.ctb");
    EXPECT_EQ(plain.StyleOf(1, "").color, one.color);
    EXPECT_EQ(plain.LineweightsMm(), table.LineweightsMm());
}

TEST(PlotStyleTable, ResolvesColourScreeningLineweightEndsAndJoins) {
    const PlotStyleTable table = PlotStyleTable::Parse(kFullCtb, "office.ctb");
    // ACI 1: its green turned grey by the grayscale policy, then screened to 40 % ink.
    const StyleResult one = table.Resolve(QColor(Qt::red), 1, 0.25, "");
    const int grey = StyledColor(QColor(0x00, 0x80, 0x40), StyleMode::Grayscale).red();
    const int screened = int(std::lround(255 - (255 - grey) * 0.4));
    EXPECT_EQ(one.color, QColor(screened, screened, screened));
    EXPECT_DOUBLE_EQ(one.lineweightMm, 0.70);
    EXPECT_TRUE(one.tableLineweight);
    EXPECT_EQ(one.cap, Qt::RoundCap);
    EXPECT_EQ(one.join, Qt::MiterJoin);

    // ACI 7 and the colours left out: the object's colour and lineweight (index 255 and index 0
    // of 0 mm alike), round ends and joins.
    for (int aci : {7, 2}) {
        const StyleResult kept = table.Resolve(QColor(10, 20, 30), aci, 0.35, "");
        EXPECT_EQ(kept.color, QColor(10, 20, 30)) << aci;
        EXPECT_DOUBLE_EQ(kept.lineweightMm, 0.35) << aci;
        EXPECT_FALSE(kept.tableLineweight) << aci;
        EXPECT_EQ(kept.cap, Qt::RoundCap) << aci;
    }
    // A true colour takes the style of its nearest ACI: pure red is ACI 1.
    EXPECT_EQ(table.Resolve(QColor(254, 1, 0), 0, 0.25, "").color, one.color);
}

TEST(PlotStyleTable, NamedStylesAreFoundByNameAndNormalStandsInForTheRest) {
    const std::string text = "description=\"named\n"
                             "aci_table_available=FALSE\n"
                             "scale_factor=1.0\n"
                             "apply_factor=FALSE\n"
                             "plot_style{\n"
                             " 0{\n"
                             "  name=\"Normal\n"
                             "  color=-1\n"
                             "  lineweight=255\n"
                             " }\n"
                             " 1{\n"
                             "  name=\"粗线 Heavy\n"
                             "  color=-1023475712\n"
                             "  mode_color=-1023475712\n"
                             "  lineweight=13\n"
                             "  end_style=1\n"
                             "  join_style=2\n"
                             " }\n"
                             "}\n";
    const PlotStyleTable table =
        PlotStyleTable::Parse(test::CompressedTable("STBVER1", text), "named.stb");
    EXPECT_EQ(table.Kind(), PlotStyleKind::Named);
    ASSERT_EQ(table.Styles().size(), 2u);
    const StyleResult heavy = table.Resolve(QColor(Qt::green), 3, 0.18, "粗线 HEAVY");
    EXPECT_EQ(heavy.color, QColor(255, 0, 0));
    EXPECT_DOUBLE_EQ(heavy.lineweightMm, 0.50); // index 13 of the standard lineweights
    EXPECT_EQ(heavy.cap, Qt::SquareCap);
    EXPECT_EQ(heavy.join, Qt::RoundJoin);
    for (const char* other : {"", "ByLayer", "no such style"}) {
        const StyleResult normal = table.Resolve(QColor(Qt::green), 3, 0.18, other);
        EXPECT_EQ(normal.color, QColor(Qt::green)) << other;
        EXPECT_DOUBLE_EQ(normal.lineweightMm, 0.18) << other;
    }
}

TEST(PlotStyleTable, BuiltInTablesPlotAsTheirStyleModes) {
    for (StyleMode mode : {StyleMode::AsDrawn, StyleMode::Monochrome, StyleMode::Grayscale}) {
        for (PlotStyleKind kind : {PlotStyleKind::ColorDependent, PlotStyleKind::Named}) {
            const PlotStyleTable table = PlotStyleTable::BuiltIn(mode, kind);
            for (int aci : {1, 5, 7, 254}) {
                const StyleResult style = table.Resolve(AciColor(aci), aci, 0.3, "");
                EXPECT_EQ(style.color, StyledColor(AciColor(aci), mode)) << aci;
                EXPECT_DOUBLE_EQ(style.lineweightMm, 0.3);
                EXPECT_FALSE(style.tableLineweight);
            }
        }
    }
}

class DamagedTables : public testing::Test {
protected:
    void SetUp() override {
        std::random_device random;
        m_folder = fs::temp_directory_path() / ("kw_tables_" + std::to_string(random()));
        fs::create_directories(m_folder);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(m_folder, ignored);
    }

    // The number and message Load fails with.
    std::pair<std::int32_t, std::string> Refusal(const std::string& name,
                                                 const std::string& bytes) {
        test::WriteFile(m_folder / name, bytes);
        try {
            PlotStyleTable::Load((m_folder / name).string());
        } catch (const Error& failure) {
            return {failure.Number(), failure.Description()};
        }
        return {0, "accepted"};
    }

    fs::path m_folder;
};

TEST_F(DamagedTables, AreRefusedWithTheFileNameAndWhatIsWrong) {
    const std::string good = test::CompressedTable("CTBVER1", test::BlueAci1Text());
    ASSERT_EQ(Refusal("good.ctb", good).first, 0);

    std::string flipped = good;
    flipped[flipped.size() - 20] ^= 0x55;
    const struct {
        std::string name, bytes, reason;
    } cases[] = {
        {"cut.ctb", good.substr(0, good.size() - 10), "cut short"},
        {"header.ctb", good.substr(0, 55), "ends inside its header"},
        {"flipped.ctb", flipped, "damaged"},
        {"picture.ctb", "\x89PNG\r\n\x1a\n", "not a plot style table"},
        {"empty.ctb", "", "not a plot style table"},
        {"codec.ctb", "PIAFILEVERSION_2.0,CTBVER1,compress\r\nlzcodec", "unknown compression"},
        {"unclosed.ctb",
         test::CompressedTable("CTBVER1", "aci_table_available=TRUE\nplot_style{\n"),
         "never closed"},
        {"colour.ctb",
         test::CompressedTable("CTBVER1",
                               "aci_table_available=TRUE\nplot_style{\n 0{\n  color=red\n }\n}\n"),
         "line 4: plot_style 0: color \"red\" is no whole number"},
        {"aci.ctb",
         test::CompressedTable("CTBVER1", "aci_table_available=TRUE\nplot_style{\n 300{\n }\n}\n"),
         "ACI 1..255"},
        {"kind.stb", good, "holds colour-dependent plot styles"},
        {"nested.ctb",
         test::CompressedTable("CTBVER1",
                               [] {
                                   std::string text;
                                   for (int i = 0; i < 100000; ++i)
                                       text += "a{\n";
                                   return text;
                               }()),
         "nested too deep"},
        {"disagree.ctb", test::CompressedTable("STBVER1", test::BlueAci1Text()), "disagree"},
    };
    for (const auto& c : cases) {
        const auto [number, message] = Refusal(c.name, c.bytes);
        EXPECT_EQ(number, errors::kTypeMismatch) << c.name << ": " << message;
        EXPECT_EQ(message.rfind(c.name + ": ", 0), 0u) << message;
        EXPECT_NE(message.find(c.reason), std::string::npos) << message;
    }

    try {
        PlotStyleTable::Load((m_folder / "missing.ctb").string());
        ADD_FAILURE() << "a missing table was read";
    } catch (const Error& failure) {
        EXPECT_EQ(failure.Number(), errors::kFileNotFound);
        EXPECT_NE(failure.Description().find("missing.ctb"), std::string::npos);
    }
}

} // namespace
} // namespace kw::render
