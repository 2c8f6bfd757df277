#include <gtest/gtest.h>

#include "cad/cad_session.h"
#include "tests/com/fake_host.h"
#include "tests/com/running_fake.h"

namespace kw {
namespace {

using test::FakeHost;

// Runs the fake's local server with a registration switch and waits for it.
bool RunServer(const wchar_t* option) {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring server(path);
    server = server.substr(0, server.find_last_of(L"\\/") + 1) + L"kw_fake_cad_server.exe";
    std::wstring commandLine = L"\"" + server + L"\" " + option;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(server.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &process)) {
        return false;
    }
    WaitForSingleObject(process.hProcess, 30000);
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code == 0;
}

// The local server unregistered for the test's duration: starting the host fails.
struct UnregisteredServer {
    bool removed = RunServer(L"/UnregServer");
    ~UnregisteredServer() { RunServer(L"/RegServer"); }
};

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

TEST(ComConnect, SessionStartsOneHostThenAttachesToIt) {
    test::RunningFakeGuard guard;
    std::vector<std::string> messages;
    CadSession session([] { return std::make_shared<ComBackend>(test::QuickRetry()); },
                       [&](const std::string& text) { messages.push_back(text); });
    session.Connect();
    ASSERT_TRUE(session.HasApplication());
    IDispatch* running = test::RunningFake();
    ASSERT_NE(running, nullptr);
    FakeHost host(running);
    running->Release();
    const std::int32_t process = host.ProcessId();
    EXPECT_TRUE(com::ToBool(host.Control().Get("Visible").Raw())) << "started and shown";
    // No drawing was open: Connect swallowed the failure of ActiveDocument.
    try {
        session.Utility();
        FAIL() << "a utility without a drawing";
    } catch (const Error& error) {
        EXPECT_EQ(error.Number(), errors::kObjectNotSet);
    }

    host.AddDrawing("D:\\a.dwg");
    host.Open("D:\\a.dwg");
    session.Connect();
    IDispatch* again = test::RunningFake();
    ASSERT_NE(again, nullptr);
    FakeHost sameHost(again);
    again->Release();
    EXPECT_EQ(sameHost.ProcessId(), process) << "nothing new was started";
    EXPECT_EQ(sameHost.OpenDocuments(), std::vector<std::string>{"D:\\a.dwg"});
    session.Utility()->Prompt("ok");
    EXPECT_EQ(host.Log("Utility."), std::vector<std::string>{"Utility.Prompt(\"ok\")"});
    EXPECT_TRUE(messages.empty());
}

TEST(ComConnect, AHostThatCannotBeStartedIsReportedInOneMessage) {
    test::RunningFakeGuard guard;
    UnregisteredServer unregistered;
    ASSERT_TRUE(unregistered.removed);
    std::vector<std::string> messages;
    CadSession session([] { return std::make_shared<ComBackend>(test::QuickRetry()); },
                       [&](const std::string& text) { messages.push_back(text); });
    session.Connect();
    EXPECT_FALSE(session.HasApplication());
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_FALSE(messages.front().empty()) << "the failure's description is shown";
    EXPECT_EQ(test::RunningFake(), nullptr);
}

} // namespace
} // namespace kw
