// The device side of the pty without SSH: echo, line ends, secrets, keys and timed steps,
// driven by an injected clock.
#include "terminal.hpp"

#include <climits>

#include <gmock/gmock.h>

#include "cli.hpp"

namespace {

using Clock = fleetsim::Terminal::Clock;
using std::chrono::milliseconds;

struct FakeSink : fleetsim::Terminal::Sink {
    std::string out;
    std::vector<std::string> lines;
    int drops = 0;
    bool abrupt = false;
    void write(std::string_view b) override { out.append(b); }
    void drop(bool a) override {
        ++drops;
        abrupt = a;
    }
    void record(std::string l) override { lines.push_back(std::move(l)); }
};

class FleetsimTerminalTest : public ::testing::Test {
  protected:
    FakeSink sink;
    std::vector<std::string> commands;
    fleetsim::Terminal term{sink, [this](const std::string& c) { commands.push_back(c); }};
    Clock::time_point t0 = Clock::now();
};

TEST_F(FleetsimTerminalTest, EchoesAndSplitsLinesOnAnyLineEnd) {
    term.feed("show ver\r");
    term.run(t0);
    term.feed(
        "\nsh clock\nab\x7f"
        "c\r\n");
    term.run(t0);
    EXPECT_EQ(commands, (std::vector<std::string>{"show ver", "sh clock", "ac"}));
    // A CR LF pair split across two reads is one line end, echoed once.
    EXPECT_EQ(sink.out, "show ver\r\nsh clock\r\nab\b \bc\r\n");
    EXPECT_EQ(sink.lines, commands);
}

TEST_F(FleetsimTerminalTest, SecretsAreNotEchoedButRecorded) {
    term.say("Password: ");
    term.ask_line(false, [this](const std::string& s) { term.say("got " + s + "\n"); });
    term.run(t0);
    term.feed("s3cret\n");
    term.run(t0);
    EXPECT_EQ(sink.out, "Password: \r\ngot s3cret\r\n");
    EXPECT_EQ(sink.lines, (std::vector<std::string>{"s3cret"}));
}

TEST_F(FleetsimTerminalTest, TypedAheadInputWaitsForTheAnswer) {
    term.run(t0);
    term.say("slow answer\n", 100);
    term.feed("next\n");
    term.run(t0);
    EXPECT_EQ(sink.out, "");  // not even echoed while the device is busy
    EXPECT_EQ(term.next_due(), t0 + milliseconds(100));
    term.run(t0 + milliseconds(100));
    EXPECT_EQ(sink.out, "slow answer\r\nnext\r\n");
    EXPECT_EQ(commands, (std::vector<std::string>{"next"}));
}

TEST_F(FleetsimTerminalTest, StepsKeepTheirRhythmWhenTheLoopWakesLate) {
    term.run(t0);
    term.say("a", 10);
    term.say("b", 10);
    term.run(t0 + milliseconds(15));
    EXPECT_EQ(sink.out, "a");
    EXPECT_EQ(term.next_due(), t0 + milliseconds(20));
}

TEST_F(FleetsimTerminalTest, KeyModeTakesOneKeyAndCrLfAsOneReturn) {
    std::vector<char> keys;
    term.ask_key([&](char k) {
        keys.push_back(k);
        term.ask_key([&](char k2) { keys.push_back(k2); });
    });
    term.run(t0);
    term.feed("\r\n q");
    term.run(t0);
    EXPECT_EQ(keys, (std::vector<char>{'\r', ' '}));
    // Keys are not echoed; the q after them starts the next command line.
    EXPECT_EQ(sink.out, "q");
    EXPECT_EQ(commands, std::vector<std::string>{});
}

TEST_F(FleetsimTerminalTest, HangSwallowsEverythingAndDropEndsAfterOutput) {
    term.say("bye\n");
    term.drop(true);
    term.say("never");
    term.run(t0);
    EXPECT_EQ(sink.out, "bye\r\n");
    EXPECT_EQ(sink.drops, 1);
    EXPECT_TRUE(sink.abrupt);

    FakeSink quiet;
    fleetsim::Terminal hung(quiet, [](const std::string&) { FAIL(); });
    hung.hang();
    hung.say("ignored");
    hung.feed("show clock\n");
    hung.run(t0);
    EXPECT_EQ(quiet.out, "");
    EXPECT_EQ(quiet.lines, (std::vector<std::string>{"show clock"}));
}

TEST(FleetsimUptime, LongUptimesNeitherWrapNorGoNegative) {
    const std::pair<long long, const char*> cases[] = {
        {0, "0 hours, 0 minutes"},
        {61, "1 hour, 1 minute"},
        {8 * 24 * 60 + 5, "1 week, 1 day, 0 hours, 5 minutes"},
        {INT_MAX + 2LL, "213044 weeks, 0 days, 2 hours, 9 minutes"},
        {-5, "0 hours, 0 minutes"},
    };
    for (const auto& [minutes, text] : cases) EXPECT_EQ(fleetsim::uptime_text(minutes), text);
}

}  // namespace
