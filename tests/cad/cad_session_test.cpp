#include <gtest/gtest.h>

#include "cad/cad_session.h"
#include "tests/support/substitute_cad.h"

namespace kw {
namespace {

using test::CadScript;
using test::SubstituteCad;

struct Connection {
    std::shared_ptr<SubstituteCad> cad;
    std::vector<std::string> messages;
    CadSession session;

    explicit Connection(CadScript script)
        : cad(std::make_shared<SubstituteCad>(std::move(script))),
          session([this] { return cad; },
                  [this](const std::string& text) { messages.push_back(text); }) {}
};

CadScript WithDrawing() {
    CadScript script;
    script.activeDocument = "D:\\a.dwg";
    return script;
}

TEST(Connect, AttachesToARunningApplicationAndShowsIt) {
    Connection connection(WithDrawing());
    connection.session.Connect();
    EXPECT_EQ(connection.cad->Calls(),
              (std::vector<std::string>{"Backend.Attach", "Application.Visible=true",
                                        "Application.ActiveDocument", "Document.Utility"}));
    EXPECT_TRUE(connection.session.HasApplication());
    EXPECT_NO_THROW(connection.session.Utility());

    connection.session.Connect();
    EXPECT_EQ(connection.cad->Starts(), 0);
    EXPECT_TRUE(connection.messages.empty());
}

TEST(Connect, StartsTheApplicationWhenNoneIsRunning) {
    CadScript script = WithDrawing();
    script.running = false;
    Connection connection(script);
    connection.session.Connect();
    EXPECT_EQ(connection.cad->CallsStartingWith("Backend."),
              (std::vector<std::string>{"Backend.Attach", "Backend.Start"}));
    EXPECT_EQ(connection.cad->Starts(), 1);
    EXPECT_TRUE(connection.session.HasApplication());
    connection.session.Connect();
    EXPECT_EQ(connection.cad->Starts(), 1);
}

TEST(Connect, ReportsAFailedStartInOneMessageAndKeepsWhatItHeld) {
    CadScript script;
    script.running = false;
    script.canStart = false;
    script.startFailure = "Server execution failed";
    Connection connection(script);
    connection.session.Connect();
    EXPECT_EQ(connection.messages, (std::vector<std::string>{"Server execution failed"}));
    EXPECT_FALSE(connection.session.HasApplication());
    try {
        connection.session.Application();
        FAIL();
    } catch (const Error& error) {
        EXPECT_EQ(error.Number(), 91);
    }
}

TEST(Connect, IgnoresFailuresOfVisibleActiveDocumentAndUtility) {
    CadScript script = WithDrawing();
    Connection connection(script);
    connection.session.Connect();
    auto utility = connection.session.Utility();

    connection.cad->Script().failures["Application.Visible"] = {-2147418113, "busy"};
    connection.cad->Script().failures["Application.ActiveDocument"] = {-2147418113, "none"};
    EXPECT_NO_THROW(connection.session.Connect());
    EXPECT_TRUE(connection.messages.empty());
    EXPECT_EQ(connection.session.Utility(), utility) << "a failed read keeps the previous value";

    CadScript noDrawing;
    Connection empty(noDrawing);
    empty.session.Connect();
    EXPECT_TRUE(empty.session.HasApplication());
    EXPECT_THROW(empty.session.Utility(), Error);
}

} // namespace
} // namespace kw
