#include <gtest/gtest.h>

#include <QCoreApplication>

#include <filesystem>

#include "builtin/builtin_cad.h"

namespace kw::builtin {
namespace {

namespace fs = std::filesystem;

std::shared_ptr<BuiltinApplication> Headless() {
    BuiltinOptions options;
    options.programFolder = fs::path(KW_CAD_TEMPLATE).parent_path().string();
    options.printers = [] { return std::vector<SystemPrinter>{}; };
    return std::make_shared<BuiltinApplication>(options);
}

// What kestrelwick-plot meets: a console program has no window to pick in or preview on, and
// must get a failure that says so rather than a crash or a silent empty pick.
void ExpectNoScreen(BuiltinApplication& app) {
    app.PutVisible(true); // kept, nothing shown
    EXPECT_TRUE(app.Visible());
    const auto document =
        app.Documents()->Open(std::string(KW_DRAWING_TESTDATA) + "/frames/frames_r2018_utf8.dxf");
    const auto set = document->SelectionSets()->Add("pick");
    try {
        set->SelectOnScreen();
        ADD_FAILURE() << "SelectOnScreen went on without a screen";
    } catch (const CadError& failure) {
        EXPECT_EQ(failure.Number(), errors::kFailed);
        EXPECT_NE(failure.Description().find("window system"), std::string::npos)
            << failure.Description();
    }
    EXPECT_EQ(set->Count(), 0);
    try {
        document->Plot()->DisplayPlotPreview(1);
        ADD_FAILURE() << "DisplayPlotPreview went on without a screen";
    } catch (const CadError& failure) {
        EXPECT_EQ(failure.Number(), errors::kFailed);
        EXPECT_NE(failure.Description().find("window system"), std::string::npos)
            << failure.Description();
    }
}

TEST(BuiltinHeadless, PickAndPreviewFailClearlyWithoutAnyQtApplication) {
    auto app = Headless();
    ExpectNoScreen(*app);
}

TEST(BuiltinHeadless, PickAndPreviewFailClearlyUnderAConsoleApplication) {
    int argc = 1;
    char name[] = "kestrelwick-plot";
    char* argv[] = {name, nullptr};
    QCoreApplication console(argc, argv);
    auto app = Headless();
    ExpectNoScreen(*app);
}

} // namespace
} // namespace kw::builtin
