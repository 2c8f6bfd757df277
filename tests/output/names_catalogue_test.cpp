#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>

#include "base/error.h"
#include "output/catalogue.h"
#include "output/file_names.h"
#include "output/output_options.h"
#include "tests/support/temp_folder.h"

namespace kw::output {
namespace {

TEST(FillTemplate, FillsFieldsAndPaddedNumbersAndListsWhatIsMissing) {
    const NameValues values = {{"图号", "S-01"}, {"图名", "总平面图"}, {"page", "7"}, {"空", ""}};
    EXPECT_EQ(FillTemplate("{图号}_{图名}", values).text, "S-01_总平面图");
    EXPECT_EQ(FillTemplate("p{page:03}{{x}}", values).text, "p007{x}");
    const FilledName missing = FillTemplate("{图号}_{设计}_{空}", values);
    EXPECT_TRUE(missing.text.empty());
    EXPECT_EQ(missing.missing, (std::vector<std::string>{"设计", "空"}));
}

TEST(OutputOptions, TextsThatDoNotReadFailAsError5WithTheReason) {
    const auto refusal = [](const std::function<void()>& read) -> std::pair<int, std::string> {
        try {
            read();
        } catch (const Error& failure) {
            return {failure.Number(), failure.Description()};
        }
        return {0, "taken"};
    };
    EXPECT_EQ(refusal([] { FillTemplate("{图号", {}); }),
              std::pair(5, std::string("the name template \"{图号\" has a { without its }")));
    EXPECT_EQ(refusal([] { ParseMerge("pages"); }),
              std::pair(5, std::string("expected drawing, run or none, got \"pages\"")));
    // A settings file's value that does not read leaves the default.
    EXPECT_EQ(FromSection({{"merge", "pages"}}).merge, MergeMode::None);
}

TEST(SafeFileName, ReplacesForbiddenCharactersAndCutsAtAWholeCharacter) {
    EXPECT_EQ(SafeFileName("A/B:C*D?\"E<F>G|H\\I\tJ"), "A_B_C_D__E_F_G_H_I_J");
    EXPECT_EQ(SafeFileName("  . 图名. "), "图名");
    EXPECT_EQ(SafeFileName("..."), "_");
    // Windows takes a device name with any extension for the device: the mark goes behind it.
    const std::pair<const char*, const char*> devices[] = {
        {"con", "con_"},         {"COM3.x", "COM3_.x"},    {"nul.tar.gz", "nul_.tar.gz"},
        {"Lpt9 .a", "Lpt9_ .a"}, {"COM0", "COM0_"},        {"LPT\u00b9", "LPT\u00b9_"},
        {"CONOUT$", "CONOUT$_"}, {"aux. ", "aux_"},        {"COM10", "COM10"},
        {"CONSOLE", "CONSOLE"},  {"S-01_CON", "S-01_CON"}, {"\tPRN\r", "_PRN_"},
    };
    for (const auto& [name, safe] : devices) {
        EXPECT_EQ(SafeFileName(name), safe) << name;
    }
    const std::string cut = SafeFileName("图图图图", 10); // three bytes each
    EXPECT_EQ(cut, "图图图");
}

TEST(UniqueNames, AClashGetsTheNextNumberLetterCaseIgnored) {
    UniqueNames names;
    EXPECT_EQ(names.Take("S-01"), "S-01");
    EXPECT_EQ(names.Take("s-01"), "s-01_2");
    EXPECT_EQ(names.Take("S-01"), "S-01_3");
    EXPECT_EQ(names.Take("S-01_2"), "S-01_2_2");
}

PageEntry Page(int index, const std::string& sheet, double a1, const std::string& number) {
    PageEntry entry;
    entry.drawing = "/d/plan.dxf";
    entry.page = index;
    entry.index = index;
    entry.sheet = sheet;
    entry.a1Equivalents = a1;
    entry.scale = sheet.empty() ? "" : "1:100";
    if (!number.empty()) {
        entry.fields["图号"] = number;
    }
    entry.fields["图名"] = "名称, 带 \"引号\"";
    entry.file = "/out/p" + std::to_string(index) + ".pdf";
    return entry;
}

TEST(Catalogue, RowsInPlottingOrderThenTotalsPerSizeAndInA1) {
    const std::vector<PageEntry> pages = {Page(1, "A1", 1.0, "S-1"), Page(2, "A3", 0.25, "S-2"),
                                          Page(3, "A1", 1.0, ""), Page(4, "", 0.25, "S-4")};
    const auto table = CatalogueTable(pages, ParseColumns(" 序号, 图号 ,图幅,比例,文件,图形,,"));
    ASSERT_EQ(table.size(), 1u + 4 + 1 + 1 + 3 + 1);
    EXPECT_EQ(table[0], (std::vector<std::string>{"序号", "图号", "图幅", "比例", "文件", "图形"}));
    EXPECT_EQ(table[1],
              (std::vector<std::string>{"1", "S-1", "A1", "1:100", "p1.pdf", "plan.dxf"}));
    EXPECT_EQ(table[3][1], "");
    EXPECT_EQ(table[7], (std::vector<std::string>{"", "A1", "2", "2"}));
    EXPECT_EQ(table[8], (std::vector<std::string>{"", "A3", "1", "0.25"}));
    EXPECT_EQ(table[9], (std::vector<std::string>{"", "未识别", "1", "0.25"}));
    EXPECT_EQ(table[10], (std::vector<std::string>{"", "共计", "4", "2.5"}));
    PageEntry paper = pages[0];
    paper.layout = "立面";
    EXPECT_EQ(CatalogueTable({pages[0], paper}, {"布局"})[1][0], "模型");
    EXPECT_EQ(CatalogueTable({pages[0], paper}, {"布局"})[2][0], "立面");

    test::TempFolder folder;
    WriteCatalogueCsv(folder.File("c.csv"), CatalogueTable(pages, {"序号", "图名"}));
    const std::string csv = folder.Read("c.csv");
    EXPECT_EQ(csv.rfind("\xEF\xBB\xBF序号,图名\r\n1,\"名称, 带 \"\"引号\"\"\"\r\n", 0), 0u);
}

// Title-block texts a spreadsheet would run as formulas are shown as text; numbers stay numbers.
TEST(Catalogue, FormulaLikeTextsAreShownNotRun) {
    const std::vector<std::vector<std::string>> table = {
        {"图名", "图号"},     {"=HYPERLINK(\"http://x.example\",\"看\")", "+cmd|' /C calc'!A0"},
        {"-2+3", "@SUM(A1)"}, {"\tx", "\rx"},
        {"-12.5", "+3"},      {"12", "S-01"},
    };
    test::TempFolder folder;
    WriteCatalogueCsv(folder.File("c.csv"), table);
    EXPECT_EQ(folder.Read("c.csv"),
              "\xEF\xBB\xBF图名,图号\r\n"
              "\"'=HYPERLINK(\"\"http://x.example\"\",\"\"看\"\")\",'+cmd|' /C calc'!A0\r\n"
              "'-2+3,'@SUM(A1)\r\n"
              "'\tx,\"'\rx\"\r\n"
              "-12.5,+3\r\n"
              "12,S-01\r\n");
}

TEST(OutputOptions, ASectionReadsBackAndBadValuesKeepTheirDefaults) {
    OutputOptions options;
    options.paper = PaperMode::Auto;
    options.scale = "1:50";
    options.nameTemplate = "{图号}";
    options.merge = MergeMode::Run;
    options.catalogueXlsx = true;
    EXPECT_EQ(FromSection(ToSection(options)), options);
    // The layouts are written only when not the default, so older files read back unchanged.
    EXPECT_EQ(ToSection(options).count("layouts") + ToSection(options).count("whole_layouts"), 0u);
    options.layouts = "Layout1,布局2";
    options.wholeLayouts = true;
    EXPECT_EQ(FromSection(ToSection(options)), options);
    // So are the stamp, the split and a page format other than PDF.
    EXPECT_EQ(ToSection(options).count("format") + ToSection(options).count("stamp"), 0u);
    options.stamp = "{drawing} {page}/{pages}";
    options.stampCorner = StampCorner::TopRight;
    options.split = true;
    options.pageFormat = "tiff";
    options.dpi = 200;
    options.monochrome = true;
    EXPECT_EQ(FromSection(ToSection(options)), options);
    EXPECT_FALSE(OutputOptions().Active());
    const OutputOptions odd = FromSection({{"merge", "sometimes"}, {"paper", "x"}, {"new", "1"},
                                           {"format", "gif"}, {"dpi", "-4"},
                                           {"stamp_corner", "middle"}});
    EXPECT_EQ(odd, OutputOptions());
}

} // namespace
} // namespace kw::output
