// Over every drawing of ../shared/testdata when that folder is there (a developer's machine; CI
// has only the copies in tests/data/drawing and skips this): each loads or fails with a DxfError
// naming the file, saves back byte for byte, and keeps changed plot settings through a save.

#include <gtest/gtest.h>

#include <filesystem>

#include "test_support.h"

namespace kw::drawing {
namespace {

TEST(SharedTestdata, EveryDrawingLoadsOrFailsClearlyAndSavesLosslessly) {
    const std::filesystem::path root(KW_SHARED_TESTDATA);
    std::error_code ec;
    if (!std::filesystem::is_directory(root, ec))
        GTEST_SKIP() << root << " is not there";
    int loaded = 0, refused = 0, patched = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        std::string extension = entry.path().extension().string();
        for (char& c : extension)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (!entry.is_regular_file() ||
            (extension != ".dxf" && extension != ".dxfb" && extension != ".dwg"))
            continue;
        SCOPED_TRACE(entry.path().string());
        const std::string bytes = test::ReadBytes(entry.path().string());
        Document document;
        try {
            document = LoadDrawingFromBytes(bytes, entry.path().string());
        } catch (const DxfError& error) {
            EXPECT_NE(std::string(error.what()).find(entry.path().filename().string()),
                      std::string::npos);
            ++refused;
            continue;
        }
        ++loaded;
        for (const Layout& layout : document.layouts)
            for (const Entity& e : document.LayoutEntities(layout))
                (void)EntityExtents(document, e);
        ASSERT_EQ(SaveDrawingToBytes(document), bytes);
        Layout& active = document.ActiveLayout();
        if (!document.CanSavePlotSettings(active))
            continue;
        active.plotSettings.configName = "DWG To PDF.pc3";
        active.plotSettings.styleSheet = "monochrome.ctb";
        active.plotSettings.plotType = 4;
        active.plotSettings.windowMaxX = 1420.5;
        const Document reread =
            LoadDrawingFromBytes(SaveDrawingToBytes(document), entry.path().string());
        EXPECT_EQ(reread.ActiveLayout().plotSettings, active.plotSettings);
        EXPECT_EQ(reread.warnings, document.warnings);
        ++patched;
    }
    EXPECT_EQ(refused, 2); // the DWG and the release-1.4 text dump
    std::printf("shared testdata: %d drawings loaded and saved identically, %d refused, %d saved "
                "with changed plot settings\n",
                loaded, refused, patched);
}

} // namespace
} // namespace kw::drawing
