#include <gtest/gtest.h>

#include <string>

#include "base/error.h"
#include "sheets/papers.h"
#include "sheets/sheets.h"

namespace kw::sheets {
namespace {

TEST(RecogniseSheet, FindsTheSheetAndScaleOfEveryFrameOfTheMeasuredDrawing) {
    struct Case {
        double width, height;
        const char* sheet;
        double scale;
    } cases[] = {
        {420, 297, "A3", 1},
        {84100, 59400, "A1", 100},
        {52550, 29700, "A1×1¼", 50},
        {8400, 11880, "A2", 20},
        {891 * 2, 420 * 2, "A3×3", 2},
        {297, 210, "A4", 1},
        {1189 * 500, 841 * 500, "A0", 500},
    };
    for (const Case& c : cases) {
        const auto match = RecogniseSheet(c.width, c.height);
        ASSERT_TRUE(match) << c.sheet;
        EXPECT_EQ(match->sheet.name, c.sheet);
        EXPECT_EQ(match->scaleDenominator, c.scale) << c.sheet;
    }
    const auto portrait = RecogniseSheet(8400, 11880);
    EXPECT_EQ(portrait->sheet.widthMm, 420);
    EXPECT_EQ(portrait->sheet.heightMm, 594);
    EXPECT_TRUE(portrait->sheet.IsPortrait());
}

TEST(RecogniseSheet, WithinOnePercentOnlyAndAForcedScaleIsTheOnlyOneTried) {
    EXPECT_FALSE(RecogniseSheet(90000, 63000)); // 900 × 630 at 1:100 is no sheet
    EXPECT_TRUE(RecogniseSheet(420 * 1.0099, 297, 1.0));
    EXPECT_FALSE(RecogniseSheet(420 * 1.0101, 297, 1.0));
    EXPECT_FALSE(RecogniseSheet(0, 297));
    EXPECT_FALSE(RecogniseSheet(42000, 29700, 20.0));
    const auto forced = RecogniseSheet(42000, 29700, 100.0);
    ASSERT_TRUE(forced);
    EXPECT_EQ(forced->sheet.name, "A3");
    // An A1 drawn 1:1 is also nearly an A3 at 1:2; the closer fit wins.
    EXPECT_EQ(RecogniseSheet(841, 594)->sheet.name, "A1");
    EXPECT_EQ(RecogniseSheet(840, 594)->scaleDenominator, 2);
}

TEST(Sheet, CanonicalNamesAndA1Equivalents) {
    const auto a1 = RecogniseSheet(841, 594);
    EXPECT_EQ(a1->sheet.CanonicalName(), "ISO_A1_(841.00_x_594.00_MM)");
    EXPECT_DOUBLE_EQ(a1->sheet.A1Equivalents(), 1.0);
    const auto longer = RecogniseSheet(1051, 594);
    EXPECT_EQ(longer->sheet.CanonicalName(), "GB_A1x1.25_(1051.00_x_594.00_MM)");
    EXPECT_NEAR(longer->sheet.A1Equivalents(), 1.25, 0.01);
    EXPECT_EQ(RecogniseSheet(420, 891)->sheet.CanonicalName(), "GB_A3x3_(420.00_x_891.00_MM)");
}

TEST(ParseScale, ReadsAutoAndRatiosAndRefusesTheRest) {
    EXPECT_FALSE(ParseScale("auto"));
    EXPECT_EQ(*ParseScale("1:100"), 100);
    EXPECT_EQ(*ParseScale("2:1"), 0.5);
    EXPECT_EQ(*ParseScale("50"), 50);
    // Refused as Error 5 with the reason; a number too long for a double is refused the same
    // way, not thrown past the callers as out_of_range.
    for (const std::string& wrong :
         {std::string("1:0"), std::string("1/100"), "1:" + std::string(400, '9'),
          "0." + std::string(400, '0') + "1:1"}) {
        try {
            ParseScale(wrong);
            ADD_FAILURE() << wrong << " was taken";
        } catch (const Error& failure) {
            EXPECT_EQ(failure.Number(), errors::kInvalidCall);
            EXPECT_NE(failure.Description().find("got \"" + wrong + "\""), std::string::npos);
        }
    }
    EXPECT_EQ(ScaleText(100), "1:100");
    EXPECT_EQ(ScaleText(0.5), "2:1");
}

TEST(ChoosePaper, TheSheetItselfElseTheSmallestThatHoldsItUprightElseTheLargestScaledDown) {
    const std::vector<std::string> printer = {
        "ISO_A4_(210.00_x_297.00_MM)",
        "ISO_A3_(297.00_x_420.00_MM)",
        "ISO_A2_(420.00_x_594.00_MM)",
        "Letter_(8.50_x_11.00_Inches)",
        "No size at all",
    };
    Sheet a3{"A3", "A3", "ISO", 420, 297};
    auto choice = ChoosePaper(printer, a3);
    ASSERT_TRUE(choice);
    EXPECT_EQ(choice->paper.canonicalName, "ISO_A3_(297.00_x_420.00_MM)");
    EXPECT_TRUE(choice->exact);
    EXPECT_TRUE(choice->turned); // the printer has A3 portrait only

    Sheet a3x3{"A3×3", "A3x3", "GB", 420, 891};
    choice = ChoosePaper(printer, a3x3);
    EXPECT_EQ(choice->paper.canonicalName, "ISO_A2_(420.00_x_594.00_MM)");
    EXPECT_FALSE(choice->turned);
    EXPECT_NEAR(choice->fitFactor, 594.0 / 891.0, 1e-9);

    Sheet small{"A5", "A5", "ISO", 148, 210};
    choice = ChoosePaper(printer, small);
    EXPECT_EQ(choice->paper.canonicalName, "Letter_(8.50_x_11.00_Inches)"); // smaller than A4
    EXPECT_FALSE(choice->exact);
    EXPECT_EQ(choice->fitFactor, 1.0);

    const auto letter = PaperFromCanonicalName("Letter_(8.50_x_11.00_Inches)");
    EXPECT_NEAR(letter->widthMm, 215.9, 1e-9);
    EXPECT_FALSE(ChoosePaper({"No size at all"}, a3));
}

TEST(Sheets, EverySheetIsRecognisedAsItselfAndIsAPaperUnderItsCanonicalName) {
    for (const Sheet& sheet : StandardSheets()) {
        for (const Sheet& drawn : {sheet, sheet.Turned()}) {
            const auto match = RecogniseSheet(drawn.widthMm * 100, drawn.heightMm * 100, 100.0);
            ASSERT_TRUE(match) << drawn.name;
            EXPECT_EQ(match->sheet.name, drawn.name);
            EXPECT_EQ(match->sheet.widthMm, drawn.widthMm) << drawn.name;
            EXPECT_EQ(match->scaleDenominator, 100) << drawn.name;
            const auto paper = FindPaper(drawn.CanonicalName());
            ASSERT_TRUE(paper) << drawn.CanonicalName();
            EXPECT_EQ(paper->widthMm, drawn.widthMm);
            EXPECT_EQ(paper->heightMm, drawn.heightMm);
        }
    }
    const auto quarterLonger = FindPaper("GB_A1x1.25_(594.00_x_1051.00_MM)");
    ASSERT_TRUE(quarterLonger);
    EXPECT_EQ(quarterLonger->displayName, "加长 A1×1¼ 纵向 (594.00 x 1051.00 毫米)");
    EXPECT_EQ(PaperFromCanonicalName("ANSI_B_(17.00_x_11.00_Inches)")->displayName,
              "ANSI B 横向 (17.00 x 11.00 英寸)");
}

} // namespace
} // namespace kw::sheets
