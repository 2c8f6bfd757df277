#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "drawing/detail/codepage.h"
#include "test_support.h"

namespace kw::drawing {
namespace {

using test::Fixture;

void ChangePlotSettings(LayoutPlotSettings& plot) {
    plot.configName = "DWG To PDF.pc3";
    plot.canonicalMediaName = "ISO_full_bleed_A3_(420.00_x_297.00_MM)";
    plot.styleSheet = "monochrome.ctb";
    plot.paperUnits = 1;
    plot.plotType = 4;
    plot.plotRotation = 1;
    plot.windowMinX = 1000.0;
    plot.windowMinY = 0.0;
    plot.windowMaxX = 1420.0;
    plot.windowMaxY = 297.25;
    plot.customScalePaper = 1.0;
    plot.customScaleDrawing = 2.5;
    plot.flags = static_cast<std::int16_t>(plot.flags | plot_flags::kPlotCentered);
}

TEST(LosslessSave, UnchangedDrawingIsByteIdentical) {
    test::TempFolder folder;
    int saved = 0;
    for (const std::string& file : test::AllFixtures()) {
        SCOPED_TRACE(file);
        const std::string bytes = test::ReadBytes(file);
        Document document;
        try {
            // An incomplete drawing read to recover it saves as it was, too.
            document = LoadDrawing(file, {.recover = true});
        } catch (const DxfError&) {
            continue;
        }
        EXPECT_FALSE(document.HasChanges());
        EXPECT_EQ(SaveDrawingToBytes(document), bytes);
        const std::string copy = folder.File("copy.dxf");
        SaveDrawing(document, copy);
        EXPECT_EQ(test::ReadBytes(copy), bytes);
        ++saved;
    }
    EXPECT_EQ(saved + 2, static_cast<int>(test::AllFixtures().size())); // all but DWG and text dump
}

TEST(LosslessSave, WritesBackOnlyTheChangedPlotSettings) {
    const char* files[] = {"frames/frames_r2000_gbk.dxf",   "frames/frames_r2018_utf8.dxf",
                           "libredwg/2000/entities-2d.dxf", "libredwg/example_2018.dxfb",
                           "ezdxf/bin_dxf_r2000.dxf",       "ACadSharp/sample_AC1032_binary.dxf"};
    for (const char* file : files) {
        SCOPED_TRACE(file);
        const std::string original = test::ReadBytes(Fixture(file));
        Document document = LoadDrawing(Fixture(file));
        Layout& layout = document.ActiveLayout();
        ASSERT_TRUE(document.CanSavePlotSettings(layout));
        ChangePlotSettings(layout.plotSettings);
        EXPECT_TRUE(document.HasChanges());
        const std::string saved = SaveDrawingToBytes(document);
        ASSERT_NE(saved, original);

        const Document reread = LoadDrawingFromBytes(saved, file);
        EXPECT_EQ(reread.ActiveLayoutIndex(), document.ActiveLayoutIndex());
        EXPECT_EQ(reread.ActiveLayout().plotSettings, layout.plotSettings);
        EXPECT_EQ(reread.warnings, LoadDrawing(Fixture(file)).warnings);
        for (std::size_t i = 0; i < reread.layouts.size(); ++i) {
            if (i != reread.ActiveLayoutIndex()) {
                EXPECT_EQ(reread.layouts[i].plotSettings, document.layouts[i].plotSettings);
            }
        }
        // Everything before the first and after the last changed byte is the file's own.
        std::size_t head = 0;
        while (head < saved.size() && head < original.size() && saved[head] == original[head])
            ++head;
        std::size_t tail = 0;
        while (tail < saved.size() - head && tail < original.size() - head &&
               saved[saved.size() - 1 - tail] == original[original.size() - 1 - tail])
            ++tail;
        EXPECT_LT(original.size() - head - tail, 2000u) << "changes spread beyond one object";
        // Saving the re-read drawing unchanged keeps the new bytes.
        EXPECT_EQ(SaveDrawingToBytes(reread), saved);
    }
}

TEST(LosslessSave, ChangesOnlyTheValueLinesOfAnAsciiFile) {
    const std::string original = test::ReadBytes(Fixture("frames/frames_r2000_gbk.dxf"));
    Document document = LoadDrawingFromBytes(original, "frames.dxf");
    LayoutPlotSettings& plot = document.ActiveLayout().plotSettings;
    plot.configName = "DWG To PDF.pc3";
    plot.plotType = 4;
    plot.styleSheet = "单色.ctb";
    const std::string saved = SaveDrawingToBytes(document);
    std::vector<std::string> before, after;
    std::istringstream a(original), b(saved);
    for (std::string line; std::getline(a, line);)
        before.push_back(line);
    for (std::string line; std::getline(b, line);)
        after.push_back(line);
    ASSERT_EQ(before.size(), after.size());
    std::vector<std::pair<std::string, std::string>> changed;
    for (std::size_t i = 0; i < before.size(); ++i)
        if (before[i] != after[i])
            changed.emplace_back(before[i], after[i]);
    ASSERT_EQ(changed.size(), 3u);
    EXPECT_EQ(changed[0].first, "Adobe PDF");
    EXPECT_EQ(changed[0].second, "DWG To PDF.pc3");
    // An integer keeps the file's right alignment; text goes in the file's code page.
    EXPECT_EQ(changed[1].second.size(), changed[1].first.size());
    EXPECT_EQ(changed[1].second.back(), '4');
    EXPECT_EQ(changed[2].second, "\xB5\xA5\xC9\xAB.ctb"); // 单色 in GBK
    EXPECT_EQ(LoadDrawingFromBytes(saved, "x.dxf").ActiveLayout().plotSettings.styleSheet,
              "单色.ctb");
}

TEST(LosslessSave, InsertsATagTheFileDoesNotHave) {
    // Remove the style sheet (group 7) from the model layout's plot settings.
    std::string bytes = test::ReadBytes(Fixture("frames/frames_r2018_utf8.dxf"));
    const std::size_t layout = bytes.find("AcDbPlotSettings");
    ASSERT_NE(layout, std::string::npos);
    const std::size_t tag = bytes.find("\n  7\n", layout);
    ASSERT_NE(tag, std::string::npos);
    const std::size_t valueEnd = bytes.find('\n', tag + 5);
    bytes.erase(tag + 1, valueEnd - tag);
    Document document = LoadDrawingFromBytes(bytes, "no_style.dxf");
    Layout* model = nullptr;
    for (Layout& candidate : document.layouts)
        if (candidate.isModel)
            model = &candidate;
    ASSERT_NE(model, nullptr);
    EXPECT_EQ(model->plotSettings.styleSheet, "");
    model->plotSettings.styleSheet = "acad.ctb";
    const std::string saved = SaveDrawingToBytes(document);
    EXPECT_EQ(saved.size(), bytes.size() + std::string("  7\nacad.ctb\n").size());
    EXPECT_NE(saved.find("  7\nacad.ctb\n 75\n"), std::string::npos);
    Document reread = LoadDrawingFromBytes(saved, "no_style.dxf");
    EXPECT_EQ(reread.layouts[0].plotSettings.styleSheet, "acad.ctb");
}

TEST(LosslessSave, DrawingsWithoutLayoutObjectsKeepTheirBytes) {
    const std::string original = test::ReadBytes(Fixture("frames/blocks_rmtk_r12_gbk.dxf"));
    Document document = LoadDrawingFromBytes(original, "r12.dxf");
    ASSERT_FALSE(document.CanSavePlotSettings(document.ActiveLayout()));
    ChangePlotSettings(document.ActiveLayout().plotSettings);
    EXPECT_FALSE(document.HasChanges());
    EXPECT_EQ(SaveDrawingToBytes(document), original);
}

TEST(LosslessSave, ReplacesTheFileOnlyWhenTheWriteSucceeded) {
    test::TempFolder folder;
    const std::string target = folder.File("frames.dxf");
    std::filesystem::copy_file(Fixture("frames/frames_r2000_gbk.dxf"), target);
    Document document = LoadDrawing(target);
    ChangePlotSettings(document.ActiveLayout().plotSettings);
    SaveDrawing(document, target);
    EXPECT_EQ(LoadDrawing(target).ActiveLayout().plotSettings,
              document.ActiveLayout().plotSettings);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.Path()),
                            std::filesystem::directory_iterator()),
              1); // no temporary file left behind

    try {
        SaveDrawing(document, folder.File("missing/frames.dxf"));
        FAIL();
    } catch (const DxfError& error) {
        EXPECT_EQ(error.Number(), errors::kPathNotFound);
        EXPECT_NE(std::string(error.what()).find("frames.dxf"), std::string::npos);
    }
    EXPECT_THROW(SaveDrawingToBytes(Document{}), DxfError);

    // UTF-8 file names, Chinese and with blanks.
    const std::string chinese = folder.File("图框 测试.dxf");
    std::filesystem::copy_file(
        Fixture("frames/frames_r2000_gbk.dxf"),
        std::filesystem::path(std::u8string(chinese.begin(), chinese.end())));
    Document named = LoadDrawing(chinese);
    named.ActiveLayout().plotSettings.plotType = 4;
    SaveDrawing(named, chinese);
    EXPECT_EQ(LoadDrawing(chinese).ActiveLayout().plotSettings.plotType, 4);
}

} // namespace
} // namespace kw::drawing
