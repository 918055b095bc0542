#include <gmock/gmock.h>

#include "sim_fixture.hpp"

namespace fleetsim_test {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

TEST_F(FleetsimTest, ControllerAnswersIdentificationAndInventory) {
    auto c = wlc();
    c->command("term len 0", kWlcPrompt);
    std::string version = c->command("show version", kWlcPrompt);
    EXPECT_THAT(version, HasSubstr("\r\nWLC-HQ-9800-01 uptime is "));
    EXPECT_THAT(version, HasSubstr("show version\r\n"));  // the typed command is echoed

    std::string summary = c->command("show ap summary", kWlcPrompt);
    EXPECT_THAT(summary, HasSubstr("Number of APs: 60\r\n"));
    // Location texts with blanks stand before the address column, as on the controller.
    EXPECT_THAT(summary, HasSubstr("AP-HQ-001"));
    EXPECT_THAT(summary, HasSubstr("C9130AXI-B"));
    EXPECT_THAT(summary, HasSubstr("Building 1 Floor 2"));
    EXPECT_THAT(summary, HasSubstr("127.20.0.1 "));
    EXPECT_THAT(summary, Not(HasSubstr("127.20.0.2 ")));  // listed by the other controller
}

TEST_F(FleetsimTest, ControllerLineFilterNarrowsTagSummary) {
    auto c = wlc();
    c->command("term len 0", kWlcPrompt);
    std::string all = c->command("show ap tag summary", kWlcPrompt);
    EXPECT_THAT(all, HasSubstr("Number of APs: 60"));
    EXPECT_THAT(all, HasSubstr("ST-HQ-CAMPUS"));
    EXPECT_THAT(all, HasSubstr("ST-BRANCH-10 "));
    // A tag that is a prefix of another selects both, as the controller's filter does.
    std::string only = c->command("show ap tag summary | inc ST-BRANCH-1", kWlcPrompt);
    EXPECT_THAT(only, Not(HasSubstr("ST-HQ-CAMPUS")));
    EXPECT_THAT(only, Not(HasSubstr("Number of APs")));
    EXPECT_THAT(only, HasSubstr("ST-BRANCH-1 "));
    EXPECT_THAT(only, HasSubstr("ST-BRANCH-10 "));
}

TEST_F(FleetsimTest, ControllerClientLifecycle) {
    auto c = wlc();
    c->command("term len 0", kWlcPrompt);
    std::string stuck =
        c->command("show wireless client summary | include Authenticating", kWlcPrompt);
    EXPECT_THAT(stuck, HasSubstr("0011.22aa.0000"));
    EXPECT_THAT(stuck, Not(HasSubstr(" Run ")));

    std::string detail = c->command("show wireless client mac 0011.22aa.0000 detail", kWlcPrompt);
    EXPECT_THAT(detail, HasSubstr("Policy Manager State: Authenticating\r\n"));
    EXPECT_THAT(detail, HasSubstr("Client Entry Create Time : 600 seconds"));
    EXPECT_THAT(detail, HasSubstr("Connected For : 20 seconds"));
    std::string by_address =
        c->command("show wireless client mac-address 0011.22aa.0000 detail", kWlcPrompt);
    EXPECT_THAT(by_address, HasSubstr("Policy Manager State: Authenticating"));

    c->command("wireless client mac-address 0011.22aa.0000 deauthenticate", kWlcPrompt);
    fleetsim::DeviceState state = sim_->state(kWlc);
    ASSERT_EQ(state.deauthenticated.size(), 1u);
    EXPECT_EQ(state.deauthenticated[0], "0011.22aa.0000");

    // The removal outlives the session.
    c.reset();
    auto again = wlc();
    again->command("term len 0", kWlcPrompt);
    EXPECT_THAT(again->command("show wireless client summary", kWlcPrompt),
                Not(HasSubstr("0011.22aa.0000")));
}

TEST_F(FleetsimTest, ClientStateCanChangeBetweenLooks) {
    sim_->update_state(kWlc, [](fleetsim::DeviceState& s) {
        for (auto& c : s.clients)
            if (c.mac == "0011.22aa.0000") c.state = "Run";
    });
    auto c = wlc();
    c->command("term len 0", kWlcPrompt);
    EXPECT_THAT(c->command("show wireless client summary | include Authenticating", kWlcPrompt),
                Not(HasSubstr("0011.22aa.0000")));
    EXPECT_THAT(c->command("show wireless client mac 0011.22aa.0000 detail", kWlcPrompt),
                HasSubstr("Policy Manager State: Run"));
}

TEST_F(FleetsimTest, ControllerDebugCollectionReportsSuccess) {
    auto c = wlc();
    c->command("term len 0", kWlcPrompt);
    std::string archive = c->command(
        "request platform software trace archive last 1 hour target "
        "bootflash:auth_issue_20260307_141502.tar.gz",
        kWlcPrompt);
    EXPECT_THAT(archive, HasSubstr("Done with creation of the archive file"));
    EXPECT_THAT(archive, HasSubstr("bootflash:auth_issue_20260307_141502.tar.gz"));
    std::string core =
        c->command("request platform software process core wncd 0 chassis active r0", kWlcPrompt);
    EXPECT_THAT(core, HasSubstr("SUCCESS: Core file generated."));
    fleetsim::DeviceState state = sim_->state(kWlc);
    EXPECT_EQ(state.archive_count, 1);
    EXPECT_EQ(state.core_count, 1);
}

TEST_F(FleetsimTest, ControllerRejectsUnknownInputAndConfirms) {
    auto c = wlc();
    std::string bad = c->command("show foo bar", kWlcPrompt);
    EXPECT_THAT(bad, HasSubstr("% Invalid input detected at '^' marker."));
    // The caret stands under the unknown word, counting the prompt.
    std::string marker = std::string(std::string(kWlcPrompt).size() + 5, ' ') + "^";
    EXPECT_THAT(bad, HasSubstr("\r\n" + marker + "\r\n"));

    c->command("clear counters", "[confirm]");
    std::string after = c->command("", kWlcPrompt);
    EXPECT_THAT(after, Not(HasSubstr("Invalid")));
}

TEST_F(FleetsimTest, ControllerPagesLongOutputWithoutTermLen) {
    auto c = wlc();
    c->send("show ap summary\n");
    std::string first = c->read_until(" --More-- ");
    EXPECT_THAT(first, HasSubstr("Number of APs: 60"));
    EXPECT_EQ(c->drain(200), "");  // nothing more until a key is pressed
    c->send("\n");                 // return: one more line
    std::string one = c->read_until(" --More-- ");
    size_t rows = 0;
    for (size_t p = one.find("Registered"); p != std::string::npos;
         p = one.find("Registered", p + 1))
        ++rows;
    EXPECT_EQ(rows, 1u);
    c->send(" ");  // space: the next page
    std::string page = c->read_until(" --More-- ");
    rows = 0;
    for (size_t p = page.find("Registered"); p != std::string::npos;
         p = page.find("Registered", p + 1))
        ++rows;
    EXPECT_EQ(rows, 23u);
    c->send("q");
    std::string rest = c->read_until(kWlcPrompt);
    EXPECT_THAT(rest, Not(HasSubstr("--More--")));
    std::vector<std::string> t = sim_->transcript(kWlc);
    ASSERT_EQ(t.size(), 4u);
    EXPECT_EQ(t[0], "show ap summary");
    EXPECT_EQ(t[1], "");
    EXPECT_EQ(t[2], " ");
    EXPECT_EQ(t[3], "q");
}

}  // namespace
}  // namespace fleetsim_test
