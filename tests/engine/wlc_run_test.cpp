#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/engine/engine_fixture.hpp"

namespace quorvane::testing {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::Not;

const std::string kTwoControllers =
    "[WLC]\nwlc_ip = 10.9.9.1\nwlc_user = admin\nwlc_pasw = pw\n"
    "[WLC2]\nwlc_ip = 10.9.9.2\nwlc_user = admin\nwlc_pasw = pw\n";

class WlcRunTest : public EngineTest {
  protected:
    std::filesystem::path output_of(const Quorvane& engine, const std::string& folder) {
        return std::filesystem::path(engine.data_dir) / folder / "wlc_outputs.txt";
    }
};

TEST_F(WlcRunTest, WritesHeaderAndCommandBlocksByteForByte) {
    write_config("[WLC]\nwlc_ip = 10.9.9.1\n");
    auto session = factory.succeed_next();
    session->outputs["show clock"] = "14:05:09.123 UTC Sun Mar 1 2026";
    session->outputs["show version"] = "Cisco IOS XE Software\nVersion 17.9.4";
    auto engine = make_engine();

    const std::string path = engine->run_wlc_cmds({"show clock", "show version"});

    EXPECT_EQ(path, output_of(*engine, "WLC_10_9_9_1").string());
    EXPECT_EQ(read_text(path),
              "<run timestamp='2026-03-01T14:05:09.123456' device='eWLC' hostname='10.9.9.1' "
              "model='eWLC-9800' version='None'>\n"
              "\n<cmd string='show clock'>\n\tshow clock\n"
              "14:05:09.123 UTC Sun Mar 1 2026\n"
              "\n<cmd string='show version'>\n\tshow version\n"
              "Cisco IOS XE Software\nVersion 17.9.4\n");
    EXPECT_THAT(session->calls(),
                ElementsAre("send_command(term len 0, none)", "send_command(show clock, 120)",
                            "send_command(show version, 120)", "disconnect()"));
    EXPECT_THAT(logs,
                ElementsAre("[WLC] ===== Starting section [WLC] =====",
                            "[WLC] [WLC] using shared cmd list (2 cmds)",
                            "[WLC] Checking SSH port on 10.9.9.1 (WLC)...",
                            "[WLC] Connecting to 10.9.9.1 (WLC) ...", "[WLC] Running: show clock",
                            "[WLC] Running: show version", "[WLC] Done [WLC]. Output: " + path));
}

TEST_F(WlcRunTest, TimestampOmitsZeroMicroseconds) {
    write_config("[WLC]\nwlc_ip = 10.9.9.1\n");
    factory.succeed_next();
    clock = std::make_shared<FakeClock>(test_start_time() - std::chrono::microseconds{123456});
    auto engine = make_engine();
    const std::string path = engine->run_wlc_cmds({});
    EXPECT_EQ(read_text(path),
              "<run timestamp='2026-03-01T14:05:09' device='eWLC' hostname='10.9.9.1' "
              "model='eWLC-9800' version='None'>\n");
}

TEST_F(WlcRunTest, ProgressRestartsForEachController) {
    write_config(kTwoControllers);
    factory.succeed_next();
    factory.succeed_next();
    auto engine = make_engine();
    engine->run_wlc_cmds({"a", "b", "c", "d"});
    EXPECT_THAT(progress, ElementsAre(25, 50, 75, 100, 25, 50, 75, 100));
}

TEST_F(WlcRunTest, ProgressIsExactForAwkwardTotals) {
    write_config("[WLC]\nwlc_ip = 10.9.9.1\n");
    factory.succeed_next();
    auto engine = make_engine();
    std::vector<std::string> cmds(50, "show clock");
    engine->run_wlc_cmds(cmds);
    ASSERT_EQ(progress.size(), 50u);
    EXPECT_EQ(progress[28], 58);  // 29 of 50, which floating point would make 57
    EXPECT_EQ(progress.back(), 100);
}

TEST_F(WlcRunTest, OverrideSectionReplacesTheSharedListForItsControllerOnly) {
    write_config(kTwoControllers + "[WLC2_CMDS]\ncmds = show ap summary\n\t\n\tshow clock\n");
    auto first = factory.succeed_next();
    auto second = factory.succeed_next();
    auto engine = make_engine();
    engine->run_wlc_cmds({"show version"});
    EXPECT_THAT(logs, Contains("[WLC] [WLC] using shared cmd list (1 cmds)"));
    EXPECT_THAT(logs, Contains("[WLC] [WLC2] using per-WLC override (2 cmds)"));
    EXPECT_EQ(first->count("send_command(show version, 120)"), 1);
    EXPECT_THAT(second->calls(),
                ElementsAre("send_command(term len 0, none)", "send_command(show ap summary, 120)",
                            "send_command(show clock, 120)", "disconnect()"));
}

TEST_F(WlcRunTest, BlankOverrideFallsBackToTheSharedList) {
    write_config("[WLC]\nwlc_ip = 10.9.9.1\n[WLC_CMDS]\ncmds =   \n");
    auto session = factory.succeed_next();
    auto engine = make_engine();
    engine->run_wlc_cmds({"show version", "show clock"});
    EXPECT_THAT(logs, Contains("[WLC] [WLC] override empty \u2014 using shared cmd list (2 cmds)"));
    EXPECT_EQ(session->count("send_command(show clock, 120)"), 1);
}

TEST_F(WlcRunTest, OverrideLinesLoseSurroundingUnicodeWhiteSpace) {
    write_config("[WLC]\nwlc_ip = 10.9.9.1\n[WLC_CMDS]\n");
    auto session = factory.succeed_next();
    auto engine = make_engine();
    engine->ini.cfg.set("WLC_CMDS", "cmds", "sleep_5\u00a0\n\u3000\n\u2003show clock\u00a0");
    engine->run_wlc_cmds({"show version"});
    EXPECT_THAT(logs, Contains("[WLC] [WLC] using per-WLC override (2 cmds)"));
    EXPECT_THAT(clock->sleep_seconds(), ElementsAre(5));
    EXPECT_THAT(session->calls(), ElementsAre("send_command(term len 0, none)",
                                              "send_command(show clock, 120)", "disconnect()"));
}

TEST_F(WlcRunTest, PausesAreSleptInChunksWithStillWaitingLines) {
    write_config("[WLC]\nwlc_ip = 10.9.9.1\n");
    auto session = factory.succeed_next();
    auto engine = make_engine();
    const std::string path = engine->run_wlc_cmds({"show clock", "sleep_65", "show version"});
    EXPECT_THAT(progress, ElementsAre(33, 100));
    EXPECT_THAT(clock->sleep_seconds(), ElementsAre(30, 30, 5));
    EXPECT_THAT(logs_starting("[SLEEP]"), ElementsAre("[SLEEP] Waiting 65s before next command...",
                                                      "[SLEEP] Still waiting... 30s / 65s",
                                                      "[SLEEP] Still waiting... 60s / 65s"));
    EXPECT_EQ(read_text(path).find("sleep"), std::string::npos);
}

TEST_F(WlcRunTest, RejectedAndZeroPausesAreSkippedAndTheNextCommandRuns) {
    write_config("[WLC]\nwlc_ip = 10.9.9.1\n");
    auto session = factory.succeed_next();
    auto engine = make_engine();
    engine->run_wlc_cmds({"sleep_3601", "pause(0)", "show version"});
    EXPECT_THAT(clock->sleeps(), IsEmpty());
    EXPECT_THAT(progress, ElementsAre(100));
    EXPECT_THAT(logs_starting("[WLC] Running"), ElementsAre("[WLC] Running: show version"));
    EXPECT_THAT(logs, Contains("[SLEEP] *** Invalid sleep value: 3601s. Maximum allowed is "
                               "3600s (1 hour). Command skipped."));
}

TEST_F(WlcRunTest, ConfirmedCommandIsTypedAnsweredAndReadBack) {
    write_config("[WLC]\nwlc_ip = 10.9.9.1\n");
    auto session = factory.succeed_next();
    session->pending_channel =
        "clear counters\r\nClear \"show interface\" counters [confirm]y\r\nWLC1#";
    auto engine = make_engine();
    const std::string path = engine->run_wlc_cmds({"% clear counters %"});
    EXPECT_THAT(session->calls(),
                ElementsAre("send_command(term len 0, none)", "write_channel(clear counters\n)",
                            "write_channel(y\n)", "read_channel()", "disconnect()"));
    EXPECT_THAT(clock->sleep_seconds(), ElementsAre(3, 2));
    EXPECT_THAT(logs, Contains("[WLC] Running: clear counters"));
    EXPECT_THAT(progress, ElementsAre(100));
    const std::string text = read_text(path);
    EXPECT_NE(text.find("\n<cmd string='clear counters'>\n\tclear counters\nclear counters\r\n"),
              std::string::npos);
    EXPECT_TRUE(text.ends_with("[confirm]y\r\nWLC1#\n"));
}

TEST_F(WlcRunTest, EmptyListStillCountsAsCompleted) {
    write_config("[WLC]\nwlc_ip = 10.9.9.1\n");
    auto session = factory.succeed_next();
    auto engine = make_engine();
    const std::string path = engine->run_wlc_cmds({});
    EXPECT_FALSE(path.empty());
    EXPECT_THAT(progress, IsEmpty());
    EXPECT_EQ(session->count("disconnect()"), 1);
}

TEST_F(WlcRunTest, FailedControllerIsLoggedAndTheNextOneCompletes) {
    write_config(kTwoControllers);
    unreachable.insert("10.9.9.1");
    factory.succeed_next();
    auto engine = make_engine();
    const std::string path = engine->run_wlc_cmds({"show version"});
    EXPECT_EQ(path, output_of(*engine, "WLC_10_9_9_2").string());
    EXPECT_THAT(logs, Contains("[WLC] [WLC] failed: WLC 10.9.9.1 (WLC) unreachable on port 22"));
    EXPECT_FALSE(std::filesystem::exists(output_of(*engine, "WLC_10_9_9_1")));
}

TEST_F(WlcRunTest, PromptTimeoutStopsThatControllerKeepingWhatWasWritten) {
    write_config(kTwoControllers);
    auto first = factory.succeed_next();
    first->failing["show tech"] = "Pattern not detected: 'WLC1#' in output.";
    auto second = factory.succeed_next();
    auto engine = make_engine();
    const std::string path = engine->run_wlc_cmds({"show clock", "show tech", "show version"});
    EXPECT_EQ(path, output_of(*engine, "WLC_10_9_9_2").string());
    EXPECT_THAT(logs, Contains("[WLC] [WLC] failed: Pattern not detected: 'WLC1#' in output."));
    EXPECT_EQ(first->count("send_command(show version, 120)"), 0);
    EXPECT_EQ(first->count("disconnect()"), 1);
    EXPECT_TRUE(read_text(output_of(*engine, "WLC_10_9_9_1"))
                    .ends_with("\n<cmd string='show tech'>\n\tshow tech\n"));
    EXPECT_THAT(progress, ElementsAre(33, 33, 66, 100));
}

TEST_F(WlcRunTest, NoControllersLogsNothingAndReturnsEmpty) {
    write_config("[WLC]\n[AP]\n");
    auto engine = make_engine();
    EXPECT_EQ(engine->run_wlc_cmds({"show version"}), "");
    EXPECT_THAT(logs, IsEmpty());
}

TEST_F(WlcRunTest, SecondRunOfOneEngineAppendsAnotherHeader) {
    write_config("[WLC]\nwlc_ip = 10.9.9.1\n");
    factory.succeed_next();
    factory.succeed_next();
    auto engine = make_engine();
    const std::string first = engine->run_wlc_cmds({"show clock"});
    const std::string second = engine->run_wlc_cmds({"show clock"});
    EXPECT_EQ(first, second);
    const std::string text = read_text(first);
    EXPECT_EQ(text.find("<run timestamp="), 0u);
    const auto second_header = text.find("\n<run timestamp=");
    ASSERT_NE(second_header, std::string::npos);
    EXPECT_EQ(text.find("<run timestamp=", second_header + 2), std::string::npos);
}

TEST_F(WlcRunTest, ThrowingLogCallbackFailsTheControllerItInterrupts) {
    write_config(kTwoControllers);
    auto first = factory.succeed_next();
    auto second = factory.succeed_next();
    auto engine = make_engine();
    bool thrown = false;
    engine->log_cb = [&](const std::string& line) {
        logs.push_back(line);
        if (!thrown && line.rfind("[WLC] Running:", 0) == 0) {
            thrown = true;
            throw std::runtime_error("display closed");
        }
    };
    const std::string path = engine->run_wlc_cmds({"show clock"});
    EXPECT_THAT(logs, Contains("[WLC] [WLC] failed: display closed"));
    EXPECT_EQ(first->count("send_command(show clock, 120)"), 0);
    EXPECT_EQ(first->count("disconnect()"), 1);
    EXPECT_EQ(second->count("send_command(show clock, 120)"), 1);
    EXPECT_EQ(path, output_of(*engine, "WLC_10_9_9_2").string());
}

TEST_F(WlcRunTest, SingleSectionRunUsesTheShortFormsAndReportsFailureAsEmpty) {
    write_config(kTwoControllers);
    auto session = factory.succeed_next();
    auto engine = make_engine();
    const std::string path = engine->_run_wlc_cmds_for_section("WLC2", {"show clock"});
    EXPECT_EQ(path, output_of(*engine, "WLC_10_9_9_2").string());
    EXPECT_TRUE(read_text(path).starts_with(
        "<run timestamp='2026-03-01T14:05:09.123456' device='eWLC' hostname='10.9.9.2'>\n"));
    EXPECT_THAT(logs, ElementsAre("[WLC] ===== Starting section [WLC2] =====",
                                  "[WLC] Checking SSH port on 10.9.9.2 (WLC2)...",
                                  "[WLC] Connecting to 10.9.9.2 (WLC2) ...",
                                  "[WLC][WLC2] Running: show clock"));

    logs.clear();
    EXPECT_EQ(engine->_run_wlc_cmds_for_section("WLC7", {"show clock"}), "");
    EXPECT_THAT(logs,
                Contains("[WLC] [WLC7] failed: Missing WLC IP in config.ini ([WLC7] wlc_ip)"));
    EXPECT_THAT(logs, Not(Contains("[WLC] [WLC7] using shared cmd list (1 cmds)")));
}

TEST_F(WlcRunTest, ConfiguredSecretsNeverReachTheLogOrTheOutputFile) {
    write_config("[WLC]\nwlc_ip = 10.9.9.1\nwlc_pasw = wlc-s3cret\n[AP]\nap_enable = en-s3cret\n");
    auto session = factory.succeed_next();
    session->outputs["show run"] = "username admin password wlc-s3cret\nenable en-s3cret";
    session->failing["show tech en-s3cret"] = "Pattern not detected after 'show tech en-s3cret'";
    auto engine = make_engine();
    engine->run_wlc_cmds({"show run", "show tech en-s3cret"});
    const std::string text = read_text(output_of(*engine, "WLC_10_9_9_1"));
    EXPECT_THAT(text, ::testing::HasSubstr("username admin password ****\nenable ****\n"));
    EXPECT_THAT(logs, Contains("[WLC] Running: show tech ****"));
    for (const std::string secret : {"wlc-s3cret", "en-s3cret"}) {
        EXPECT_EQ(text.find(secret), std::string::npos);
        for (const auto& line : logs) EXPECT_EQ(line.find(secret), std::string::npos) << line;
    }
}

}  // namespace
}  // namespace quorvane::testing
