#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <set>

#include "base/error.h"
#include "builtin/plot_devices.h"
#include "builtin/plot_preview.h"
#include "render/plot_style_table.h"
#include "sheets/papers.h"
#include "style_table_files.h"

namespace kw::builtin {
namespace {

TEST(Papers, EverySheetInBothOrientationsUnderUniqueNames) {
    const auto& papers = sheets::AllPapers();
    std::set<std::string> canonical, display;
    for (const sheets::Paper& paper : papers) {
        EXPECT_TRUE(canonical.insert(paper.canonicalName).second) << paper.canonicalName;
        EXPECT_TRUE(display.insert(paper.displayName).second) << paper.displayName;
        // The other orientation is there too, with the sides swapped.
        const bool turned = std::any_of(papers.begin(), papers.end(), [&](const sheets::Paper& p) {
            return p.widthMm == paper.heightMm && p.heightMm == paper.widthMm &&
                   p.IsPortrait() != paper.IsPortrait();
        });
        EXPECT_TRUE(turned) << paper.canonicalName;
    }
    for (const char* name : {"ISO_A0_(1189.00_x_841.00_MM)", "ISO_A4_(210.00_x_297.00_MM)",
                             "ISO_B5_(250.00_x_176.00_MM)", "ANSI_E_(34.00_x_44.00_Inches)",
                             "GB_A3x3_(891.00_x_420.00_MM)", "GB_A4x5_(297.00_x_1051.00_MM)"}) {
        EXPECT_TRUE(canonical.count(name)) << name;
    }
}

TEST(Papers, ChineseDisplayNamesAndSizesInMillimetres) {
    const auto a3x3 = sheets::FindPaper("gb_a3x3_(891.00_x_420.00_mm)"); // letter case ignored
    ASSERT_TRUE(a3x3);
    EXPECT_EQ(a3x3->displayName, "加长 A3×3 横向 (891.00 x 420.00 毫米)");
    EXPECT_DOUBLE_EQ(a3x3->widthMm, 891.0);
    EXPECT_DOUBLE_EQ(a3x3->heightMm, 420.0);

    const auto ansiA = sheets::FindPaper("ANSI_A_(8.50_x_11.00_Inches)");
    ASSERT_TRUE(ansiA);
    EXPECT_EQ(ansiA->displayName, "ANSI A 纵向 (8.50 x 11.00 英寸)");
    EXPECT_DOUBLE_EQ(ansiA->widthMm, 215.9);
    EXPECT_DOUBLE_EQ(ansiA->heightMm, 279.4);

    EXPECT_FALSE(sheets::FindPaper("ISO_A4"));
}

TEST(StyleTables, OfferTheCommonTablesOfBothKinds) {
    for (const char* name : {"monochrome.ctb", "grayscale.ctb", "acad.ctb"}) {
        const auto table = FindStyleTable(name);
        ASSERT_TRUE(table) << name;
        EXPECT_EQ(table->kind, StyleTableKind::ColorDependent);
    }
    const auto named = FindStyleTable("ACAD.STB");
    ASSERT_TRUE(named);
    EXPECT_EQ(named->name, "acad.stb");
    EXPECT_EQ(named->kind, StyleTableKind::Named);
    EXPECT_FALSE(FindStyleTable("acad"));
}

TEST(StyleTables, FilesOfEarlierFoldersHideLaterOnesAndReplaceBuiltInTables) {
    namespace fs = std::filesystem;
    std::random_device random;
    const fs::path root = fs::temp_directory_path() / ("kw_styles_" + std::to_string(random()));
    fs::create_directories(root / "first");
    fs::create_directories(root / "second" / "sub.ctb");
    for (const char* name : {"Zone.CTB", "monochrome.ctb", "notes.txt"})
        test::WriteFile(root / "first" / name, "x");
    for (const char* name : {"zone.ctb", "alpha.stb"})
        test::WriteFile(root / "second" / name, "x");
    const std::vector<std::string> folders = {
        (root / "first").string(), (root / "missing").string(), (root / "second").string()};

    std::vector<std::string> names;
    for (const StyleTable& table : AllStyleTables(folders))
        names.push_back(table.name);
    EXPECT_EQ(names,
              (std::vector<std::string>{"acad.ctb", "acad.stb", "grayscale.ctb", "monochrome.ctb",
                                        "monochrome.stb", "alpha.stb", "Zone.CTB"}));
    const auto zone = FindStyleTable("ZONE.ctb", folders);
    ASSERT_TRUE(zone);
    EXPECT_EQ(fs::path(zone->path), root / "first" / "Zone.CTB");
    EXPECT_EQ(zone->kind, StyleTableKind::ColorDependent);
    EXPECT_EQ(FindStyleTable("alpha.stb", folders)->kind, StyleTableKind::Named);
    EXPECT_EQ(fs::path(FindStyleTable("monochrome.ctb", folders)->path),
              root / "first" / "monochrome.ctb");
    EXPECT_TRUE(FindStyleTable("monochrome.ctb", {})->path.empty());
    EXPECT_FALSE(FindStyleTable("sub.ctb", folders));
    std::error_code ignored;
    fs::remove_all(root, ignored);
}

TEST(StyleTables, APlotWithPlotStylesPaintsWithTheTableFileItNames) {
    namespace fs = std::filesystem;
    std::random_device random;
    const fs::path folder = fs::temp_directory_path() / ("kw_page_" + std::to_string(random()));
    fs::create_directories(folder);
    const std::string ctb = test::CompressedTable("CTBVER1", test::BlueAci1Text());
    test::WriteFile(folder / "blue.ctb", ctb);
    test::WriteFile(folder / "broken.ctb", ctb.substr(0, 70));
    const std::vector<std::string> folders = {folder.string()};

    drawing::LayoutPlotSettings settings;
    settings.styleSheet = "BLUE.ctb";
    EXPECT_FALSE(PageOptions(settings, folders).styleTable); // plot styles off
    settings.flags = drawing::plot_flags::kPlotPlotStyles;
    const auto options = PageOptions(settings, folders);
    ASSERT_TRUE(options.styleTable);
    EXPECT_EQ(options.styleTable->Resolve(QColor(Qt::red), 1, 0.25, "").color,
              QColor(128, 128, 255));

    // A built-in or unknown table plots by its name's mode, as before.
    settings.styleSheet = "monochrome.ctb";
    EXPECT_FALSE(PageOptions(settings, folders).styleTable);
    EXPECT_EQ(PageOptions(settings, folders).styleMode, render::StyleMode::Monochrome);
    settings.styleSheet = "broken.ctb";
    try {
        PageOptions(settings, folders);
        ADD_FAILURE() << "a damaged table was painted with";
    } catch (const Error& failure) {
        EXPECT_EQ(failure.Number(), errors::kTypeMismatch);
        EXPECT_EQ(failure.Description().rfind("broken.ctb: ", 0), 0u) << failure.Description();
    }
    std::error_code ignored;
    fs::remove_all(folder, ignored);
}

TEST(DeviceCatalog, PdfDeviceFirstThenPrintersAsTheSystemListsThemNow) {
    std::vector<SystemPrinter> system = {{"HP LaserJet", {}}, {kPdfDevice, {}}};
    DeviceCatalog catalog([&] { return system; });
    EXPECT_EQ(catalog.DeviceNames(),
              (std::vector<std::string>{kPdfDevice, "HP LaserJet"})); // no second PDF device
    EXPECT_TRUE(catalog.HasDevice("HP LaserJet"));
    EXPECT_FALSE(catalog.HasDevice("hp laserjet"));

    system.push_back({"Plotter", {}});
    EXPECT_FALSE(catalog.HasDevice("Plotter"));
    catalog.Refresh();
    EXPECT_TRUE(catalog.HasDevice("Plotter"));
}

TEST(DeviceCatalog, PrinterOffersTheSheetsItTakesInBothOrientations) {
    DeviceCatalog catalog([] {
        return std::vector<SystemPrinter>{
            {"A4 printer", {{210.0, 297.0}, {215.9, 279.4}, {100.0, 150.0}}},
            {"Any sheet", {}},
            {"Odd sheets", {{100.0, 150.0}}},
        };
    });
    std::vector<std::string> names;
    for (const sheets::Paper& paper : catalog.Papers("A4 printer")) {
        names.push_back(paper.canonicalName);
    }
    EXPECT_EQ(names, (std::vector<std::string>{
                         "ISO_A4_(297.00_x_210.00_MM)", "ISO_A4_(210.00_x_297.00_MM)",
                         "ANSI_A_(11.00_x_8.50_Inches)", "ANSI_A_(8.50_x_11.00_Inches)"}));
    // Without sheets of ours the printer still gets a list to choose from, as does a device
    // that a drawing names from another machine.
    EXPECT_EQ(catalog.Papers("Any sheet").size(), sheets::AllPapers().size());
    EXPECT_EQ(catalog.Papers("Odd sheets").size(), sheets::AllPapers().size());
    EXPECT_EQ(catalog.Papers("Gone printer").size(), sheets::AllPapers().size());
    EXPECT_EQ(catalog.Papers(kPdfDevice).size(), sheets::AllPapers().size());
}

} // namespace
} // namespace kw::builtin
