#include <gtest/gtest.h>

#include <chrono>

#include "com/com_error.h"
#include "com/message_filter.h"
#include "tests/com/fake_host.h"

namespace kw {
namespace {

using com::Variant;
using test::FakeHost;

constexpr HRESULT kInvalidArgument = E_INVALIDARG;

std::shared_ptr<CadDocument> OpenSample(FakeHost& host) {
    host.AddPolyline("C:\\a.dwg", "图框", {0, 0, 380, 0, 380, 260, 0, 260});
    host.AddEntity("C:\\a.dwg", entity_types::kBlockReference, "0", "RmTK", {500, 10}, {880, 270});
    host.Open("C:\\a.dwg");
    return host.Application()->ActiveDocument();
}

TEST(ComBinding, ArgumentsReachTheHostInTheShapesOfItsReference) {
    FakeHost host;
    auto document = OpenSample(host);
    host.ClearLog();

    auto set = document->SelectionSets()->Add("0.5");
    set->Select(5, {{0, "LWPOLYLINE"}, {8, "图框"}});
    EXPECT_EQ(set->Count(), 1);
    auto layout = document->ActiveLayout();
    layout->SetWindowToPlot({-500, -500.25}, {38500, 20500});
    layout->PutPlotOrigin({5, -3});
    layout->PutCenterPlot(false);
    layout->SetCustomScale(380, 38000);
    document->Plot()->PutNumberOfCopies(3);
    document->SendCommand("BACKGROUNDPLOT\r0\r");

    EXPECT_EQ(
        host.Log("SelectionSet."),
        (std::vector<std::string>{"SelectionSet.Select(5, -, -, [0,8], [\"LWPOLYLINE\",\"图框\"])",
                                  "SelectionSet.Count"}));
    EXPECT_EQ(host.Log("Layout:Model."),
              (std::vector<std::string>{
                  "Layout:Model.SetWindowToPlot([-500,-500.25], [38500,20500])",
                  "Layout:Model.PlotOrigin = [5,-3]", "Layout:Model.CenterPlot = False",
                  "Layout:Model.SetCustomScale(380, 38000)"}));
    EXPECT_EQ(host.Log("Plot."), std::vector<std::string>{"Plot.NumberOfCopies = 3"});
    EXPECT_EQ(host.Log("Document.SendCommand"),
              std::vector<std::string>{"Document.SendCommand(\"BACKGROUNDPLOT\\r0\\r\")"});
}

// Layouts are listed by tab order whatever the collection's order, and one is made active by
// handing the host the layout object itself.
TEST(ComBinding, LayoutsAreListedByTabOrderAndMadeActiveByObject) {
    FakeHost host;
    auto document = OpenSample(host);
    EXPECT_EQ(document->LayoutNames(), (std::vector<std::string>{"Model", "Layout1"}));
    EXPECT_EQ(document->ActiveLayout()->Name(), "Model");
    host.ClearLog();
    document->PutActiveLayout("layout1");
    EXPECT_EQ(document->ActiveLayout()->Name(), "Layout1");
    EXPECT_EQ(document->ActiveSpace(), 0);
    EXPECT_EQ(host.Log("Document.ActiveLayout ="),
              std::vector<std::string>{"Document.ActiveLayout = Object"});
    document->PutActiveLayout("Model");
    EXPECT_EQ(document->ActiveSpace(), 1);
    try {
        document->PutActiveLayout("Layout9");
        ADD_FAILURE() << "an unknown layout was made active";
    } catch (const CadError& failure) {
        EXPECT_EQ(failure.Number(), static_cast<std::int32_t>(kInvalidArgument));
    }
}

TEST(ComBinding, EntitiesAreReadThroughCountItemAndOutParameters) {
    FakeHost host;
    auto document = OpenSample(host);
    auto set = document->SelectionSets()->Add("picked");
    set->SelectOnScreen();
    ASSERT_EQ(set->Count(), 2);

    auto polyline = set->Item(0);
    EXPECT_EQ(polyline->EntityType(), entity_types::kLightweightPolyline);
    EXPECT_EQ(polyline->Layer(), "图框");
    EXPECT_EQ(polyline->Coordinates(), (std::vector<double>{0, 0, 380, 0, 380, 260, 0, 260}));

    auto block = set->Item(1);
    EXPECT_EQ(block->EntityType(), entity_types::kBlockReference);
    EXPECT_EQ(block->Name(), "RmTK");
    Point lower;
    Point upper;
    block->GetBoundingBox(lower, upper); // the host answers with three-element points
    EXPECT_EQ(lower.x, 500);
    EXPECT_EQ(lower.y, 10);
    EXPECT_EQ(upper.x, 880);
    EXPECT_EQ(upper.y, 270);

    // Like the host, the fake has no Name on a polyline.
    try {
        polyline->Name();
        FAIL() << "a polyline answered Name";
    } catch (const CadError& error) {
        EXPECT_EQ(error.Number(), errors::kMemberNotFound);
    }
}

// The fake refuses what the host refuses, so a binding that sent other shapes would fail above.
TEST(ComBinding, FakeHostRefusesWrongArgumentTypes) {
    FakeHost host;
    auto document = OpenSample(host);
    com::Dispatch sets = host.Control().Object("ActiveDocument").Object("SelectionSets");
    com::Dispatch set = sets.CallObject("Add", {Variant::FromString("s")});

    com::SafeArray longCodes(VT_I4, 1);
    LONG code = 0;
    longCodes.Put(0, &code);
    com::SafeArray values(VT_VARIANT, 1);
    Variant value = Variant::FromString("LWPOLYLINE");
    values.Put(0, &value.Raw());
    std::vector<Variant> arguments;
    arguments.push_back(Variant::FromInt32(5));
    arguments.push_back(Variant::Missing());
    arguments.push_back(Variant::Missing());
    arguments.push_back(Variant::FromArray(VT_I4, std::move(longCodes)));
    arguments.push_back(Variant::FromArray(VT_VARIANT, std::move(values)));
    try {
        set.Call("Select", std::move(arguments));
        FAIL() << "VT_I4 filter codes were taken";
    } catch (const CadError& error) {
        EXPECT_EQ(error.Number(), kInvalidArgument);
        EXPECT_EQ(error.Description(), "Invalid argument FilterType in Select");
    }

    com::Dispatch layout = host.Control().Object("ActiveDocument").Object("ActiveLayout");
    com::SafeArray integers(VT_I4, 2);
    integers.Put(0, &code);
    integers.Put(1, &code);
    std::vector<Variant> points;
    points.push_back(Variant::FromArray(VT_I4, std::move(integers)));
    points.push_back(com::MakePoint({1, 1}));
    EXPECT_THROW(layout.Call("SetWindowToPlot", std::move(points)), CadError);
}

TEST(ComBinding, NameArraysAreReadFromLowerToUpperBound) {
    FakeHost host;
    const std::vector<std::string> expected{"甲", "B", "c"};
    for (VARTYPE type : {VT_BSTR, VT_VARIANT}) {
        for (std::int32_t lower : {0, 1, -2}) {
            std::vector<Variant> arguments;
            arguments.push_back(Variant::FromInt32(type));
            arguments.push_back(Variant::FromInt32(lower));
            EXPECT_EQ(com::ToStrings(host.Control().Call("FakeNames", std::move(arguments)).Raw()),
                      expected)
                << "element type " << type << ", lower bound " << lower;
        }
    }

    host.Open("C:\\Program Files\\Fake CAD\\TEMPLATE\\acad.dwt");
    auto layout = host.Application()->ActiveDocument()->ModelSpace()->Layout();
    EXPECT_EQ(layout->GetPlotDeviceNames().front(), "无");
    const auto papers = layout->GetCanonicalMediaNames(); // VT_VARIANT elements
    ASSERT_EQ(papers.size(), 3u);
    EXPECT_EQ(layout->GetLocaleMediaName(papers[1]), "ISO A3 (420.00 x 297.00 毫米)");
    EXPECT_EQ(layout->GetPlotStyleTableNames().back(), "黑白.ctb");
}

TEST(ComBinding, MemberNamesIgnoreLetterCase) {
    FakeHost host;
    EXPECT_EQ(com::ToString(host.Control().Get("fullNAME").Raw()),
              "C:\\Program Files\\Fake CAD\\acad.exe");
    EXPECT_EQ(host.Application()->FullName(), "C:\\Program Files\\Fake CAD\\acad.exe");
}

TEST(ComValue, TextCrossesTheEdgeAsUtf8) {
    const std::string text = "图框 RmTK \xF0\xA0\x80\x80 ä"; // includes a surrogate pair
    EXPECT_EQ(com::Narrow(com::Widen(text)), text);
    EXPECT_EQ(com::ToString(Variant::FromString(text).Raw()), text);
    EXPECT_EQ(com::Bstr(text).Utf8(), text);
}

TEST(ComValue, WrongKindsAreTypeMismatches) {
    for (const Variant& value : {Variant::FromString("abc"), Variant::Missing()}) {
        try {
            com::ToInt32(value.Raw());
            FAIL();
        } catch (const Error& error) {
            EXPECT_EQ(error.Number(), errors::kTypeMismatch);
        }
    }
    com::SafeArray four(VT_R8, 4);
    const Variant notAPoint = Variant::FromArray(VT_R8, std::move(four));
    EXPECT_THROW(com::ToPoint(notAPoint.Raw()), Error);
    EXPECT_THROW(com::ToStrings(Variant::FromDouble(1).Raw()), Error);
    EXPECT_TRUE(com::ToStrings(Variant().Raw()).empty());
}

CadError Raised(FakeHost& host, std::int32_t shape, HRESULT code, const std::string& text) {
    std::vector<Variant> arguments;
    arguments.push_back(Variant::FromInt32(shape));
    arguments.push_back(Variant::FromInt32(static_cast<std::int32_t>(code)));
    arguments.push_back(Variant::FromString(text));
    try {
        host.Control().Call("FakeRaise", std::move(arguments));
    } catch (const CadError& error) {
        return error;
    }
    ADD_FAILURE() << "nothing raised";
    return CadError(0, "");
}

TEST(ComErrors, HresultsBecomeTheNumbersCallersTest) {
    EXPECT_EQ(com::ErrorNumber(DISP_E_UNKNOWNNAME), 438);
    EXPECT_EQ(com::ErrorNumber(DISP_E_MEMBERNOTFOUND), 438);
    EXPECT_EQ(com::ErrorNumber(static_cast<HRESULT>(0x800A01B6)), 438);
    EXPECT_EQ(com::ErrorNumber(static_cast<HRESULT>(0x800A000D)), 13);
    EXPECT_EQ(com::ErrorNumber(static_cast<HRESULT>(0x80210063)), -2145320861);
    EXPECT_EQ(com::ErrorNumber(static_cast<HRESULT>(0x80200003)), -2145386493);
    EXPECT_EQ(com::ErrorNumber(RPC_E_CALL_REJECTED), -2147418111);
}

TEST(ComErrors, ExceptionInfoIsReadAsTheHostFillsIt) {
    FakeHost host;
    struct Case {
        std::int32_t shape;
        HRESULT code;
        std::string text;
        std::int32_t number;
        std::string description;
    };
    const Case cases[] = {
        {0, static_cast<HRESULT>(0x80200003), "样式表不匹配", -2145386493, "样式表不匹配"},
        {0, DISP_E_MEMBERNOTFOUND, "no such member", 438, "no such member"},
        {0, static_cast<HRESULT>(0x800A0005), "invalid call", 5, "invalid call"},
        {1, 1004, "wCode only", 1004, "wCode only"},
        {2, 0, "", -2145320861, "filled in later"},
        {3, static_cast<HRESULT>(0x800A0006), "", 6, ""},
        {3, static_cast<HRESULT>(0x80210063), "", -2145320861, ""},
    };
    for (const Case& c : cases) {
        const CadError error = Raised(host, c.shape, c.code, c.text);
        EXPECT_EQ(error.Number(), c.number) << "shape " << c.shape << ", text " << c.text;
        if (!c.description.empty()) {
            EXPECT_EQ(error.Description(), c.description);
        } else {
            EXPECT_FALSE(error.Description().empty());
        }
    }
    // Neither scode nor wCode: the number is DISP_E_EXCEPTION's own, never 0.
    EXPECT_EQ(Raised(host, 1, 0, "nothing").Number(), static_cast<std::int32_t>(DISP_E_EXCEPTION));
}

TEST(ComErrors, MissingMembersAndHostFailuresReachTheCaller) {
    FakeHost host;
    auto document = OpenSample(host);
    host.Lack("Plot");
    host.Lack("Layout:Model.PlotHidden", true);
    host.Fail("Document.Close", static_cast<HRESULT>(0x80210063), "文件已打开");
    host.Fail("Layout:Model.StyleSheet", static_cast<HRESULT>(0x80200003), "bad table");

    auto number = [](auto action) {
        try {
            action();
        } catch (const CadError& error) {
            return error.Number();
        }
        return 0;
    };
    auto layout = document->ActiveLayout();
    EXPECT_EQ(number([&] { document->Plot(); }), 438);
    EXPECT_EQ(number([&] { layout->PutPlotHidden(true); }), 438);
    EXPECT_EQ(number([&] { layout->PutStyleSheet("黑白.ctb"); }), -2145386493);
    try {
        document->Close(true);
        FAIL();
    } catch (const CadError& error) {
        EXPECT_EQ(error.Number(), -2145320861);
        EXPECT_EQ(error.Description(), "文件已打开");
    }
    EXPECT_EQ(host.OpenDocuments(), std::vector<std::string>{"C:\\a.dwg"});
}

TEST(ComRetry, BusyHostIsAskedAgainUntilItAnswers) {
    FakeHost host;
    host.SetBusy(4, RPC_E_CALL_REJECTED);
    EXPECT_EQ(host.Application()->FullName(), "C:\\Program Files\\Fake CAD\\acad.exe");
    EXPECT_EQ(host.BusyLeft(), 0);
    host.SetBusy(3, RPC_E_SERVERCALL_RETRYLATER);
    host.Application()->PutVisible(true);
    EXPECT_EQ(host.BusyLeft(), 0);
    // Rejected calls never ran on the host: each call is logged once.
    EXPECT_EQ(host.Log(),
              (std::vector<std::string>{"Application.FullName", "Application.Visible = True"}));
}

TEST(ComRetry, BusyBeyondTheLimitFailsWithTheRejection) {
    FakeHost host;
    ComBackend backend(test::QuickRetry(std::chrono::milliseconds(300)));
    auto application = backend.Wrap(host.Control().Raw());
    host.SetBusy(1000000);
    const auto start = std::chrono::steady_clock::now();
    try {
        application->Caption();
        FAIL() << "a host busy for ever answered";
    } catch (const CadError& error) {
        EXPECT_EQ(error.Number(), static_cast<std::int32_t>(RPC_E_CALL_REJECTED));
    }
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(250));
    EXPECT_LT(waited, std::chrono::seconds(5));
    EXPECT_GT(host.BusyLeft(), 0);
}

TEST(ComRetry, MessageFilterAsksForRetriesUntilTheLimit) {
    IMessageFilter* filter = com::NewBusyMessageFilter(std::chrono::seconds(60));
    EXPECT_EQ(filter->RetryRejectedCall(nullptr, 0, SERVERCALL_RETRYLATER), 250u);
    EXPECT_EQ(filter->RetryRejectedCall(nullptr, 59000, SERVERCALL_REJECTED), 250u);
    EXPECT_EQ(filter->RetryRejectedCall(nullptr, 60000, SERVERCALL_RETRYLATER),
              static_cast<DWORD>(-1));
    filter->Release();

    com::MessageFilterRegistration registration(std::chrono::seconds(60));
    EXPECT_TRUE(registration.Registered()); // the test thread is a single-threaded apartment
}

} // namespace
} // namespace kw
