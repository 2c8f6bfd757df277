#include <gtest/gtest.h>

#include "tests/com/fake_host.h"
#include "tests/com/running_fake.h"

namespace kw {
namespace {

using test::FakeHost;

// Start and Attach go through the ProgID's registered class and the running-object table,
// across a process boundary, as they do with the host.
TEST(ComConnect, StartsTheLocalServerAndAttachesToTheRunningInstance) {
    test::RunningFakeGuard guard;
    ComBackend backend(test::QuickRetry());
    EXPECT_THROW(backend.Attach(), CadError);

    auto started = backend.Start();
    IDispatch* running = test::RunningFake();
    ASSERT_NE(running, nullptr) << "the started server is not in the running-object table";
    FakeHost host(running);
    running->Release();
    EXPECT_NE(host.ProcessId(), static_cast<std::int32_t>(GetCurrentProcessId()));

    auto attached = backend.Attach();
    attached->PutVisible(true);
    EXPECT_TRUE(com::ToBool(host.Control().Get("Visible").Raw()));

    // Out of process too, the shapes survive marshalling: a point array in, out-parameters back.
    host.AddEntity("C:\\b.dwg", entity_types::kExternalReference, "0", "tk_xref", {1, 2}, {3, 4});
    auto document = started->Documents()->Open("C:\\b.dwg");
    auto set = document->SelectionSets()->Add("x");
    set->Select(5, {{100, "AcdbExternalReference"}, {2, "tk_xref"}});
    ASSERT_EQ(set->Count(), 1);
    Point lower;
    Point upper;
    set->Item(0)->GetBoundingBox(lower, upper);
    EXPECT_EQ(upper.x, 3);
    EXPECT_EQ(upper.y, 4);
    document->ActiveLayout()->SetWindowToPlot({1, 2}, {3, 4});
    EXPECT_EQ(host.Log("Layout:Model."),
              std::vector<std::string>{"Layout:Model.SetWindowToPlot([1,2], [3,4])"});

    host.SetBusy(2);
    EXPECT_EQ(attached->ActiveDocument()->ActiveSpace(), 1);
    EXPECT_EQ(host.BusyLeft(), 0);
}

} // namespace
} // namespace kw
