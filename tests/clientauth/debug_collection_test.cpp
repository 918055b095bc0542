#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <limits>

#include "tests/clientauth/client_auth_fixture.hpp"

namespace quorvane::testing {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

const std::string kArchiveCmd =
    "request platform software trace archive last 1 hour target "
    "bootflash:auth_issue_20260307_141502.tar.gz";
const std::string kCoreCmd = "request platform software process core wncd 0 chassis active r0";

class DebugCollectionTest : public ClientAuthTest {};

TEST_F(DebugCollectionTest, MarkersDecideTheResultLinesAndTheCoreStepAlwaysRuns) {
    struct Case {
        const char* name;
        std::string archive_output;
        std::string core_output;
        std::string archive_line;
        std::string core_line;
    };
    const std::string archive_ok =
        "[DEBUG][ARCHIVE] SUCCESS \u2014 bootflash:auth_issue_20260307_141502.tar.gz";
    const std::string archive_error =
        "[DEBUG][ARCHIVE] ERROR \u2014 expected 'Done with creation of the archive file' not "
        "found. Check output above.";
    const std::string core_ok = "[DEBUG][CORE] SUCCESS \u2014 Core file generated.";
    const std::string core_error =
        "[DEBUG][CORE] ERROR \u2014 expected 'SUCCESS: Core file generated.' not found. Check "
        "output above.";
    const Case cases[] = {
        {"both succeed", "Done with creation of the archive file: [x]",
         "SUCCESS: Core file generated.", archive_ok, core_ok},
        {"archive marker missing", "% Error: no space left on bootflash",
         "SUCCESS: Core file generated.", archive_error, core_ok},
        {"core marker missing", "Done with creation of the archive file",
         "% Invalid input detected", archive_ok, core_error},
        {"markers are case-sensitive", "done with creation of the archive file",
         "Success: Core file generated.", archive_error, core_error},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        write_config(kOneController);
        auto session = factory.succeed_next();
        session->outputs[kArchiveCmd] = c.archive_output;
        session->outputs[kCoreCmd] = c.core_output;
        auto engine = make_engine();
        engine->_run_auth_debug_collection({"WLC"}, "20260307_141502");
        EXPECT_THAT(logs, ElementsAre("[DEBUG] ===== Collecting debugs for [WLC] =====",
                                      "[WLC] Checking SSH port on 10.9.9.1 (WLC)...",
                                      "[WLC] Connecting to 10.9.9.1 (WLC) ...",
                                      "[DEBUG][ARCHIVE] Running: " + kArchiveCmd,
                                      "[DEBUG][ARCHIVE OUTPUT]\n" + c.archive_output,
                                      c.archive_line, "[DEBUG][CORE] Running: " + kCoreCmd,
                                      "[DEBUG][CORE OUTPUT]\n" + c.core_output, c.core_line,
                                      "[DEBUG] Debug collection complete for [WLC]"));
        EXPECT_THAT(commands_of(*session),
                    ElementsAre("send_command(" + kArchiveCmd + ", 300)",
                                "send_command(" + kCoreCmd + ", 300)", "disconnect()"));
    }
}

TEST_F(DebugCollectionTest, FailingControllerIsLoggedAndTheNextOneCollects) {
    write_config(kTwoControllers + "[WLC3]\nwlc_ip = 10.9.9.3\n");
    unreachable.insert("10.9.9.1");
    auto timing_out = factory.succeed_next();
    timing_out->failing[kCoreCmd] = "Pattern not detected: 'WLC1#' after 300 s";
    auto third = factory.succeed_next();
    auto engine = make_engine();
    engine->_run_auth_debug_collection({"WLC", "WLC2", "WLC3"}, "20260307_141502");

    EXPECT_THAT(logs_starting("[DEBUG] Debug collection"),
                ElementsAre("[DEBUG] Debug collection failed (WLC): WLC 10.9.9.1 (WLC) "
                            "unreachable on port 22",
                            "[DEBUG] Debug collection failed (WLC2): Pattern not detected: "
                            "'WLC1#' after 300 s",
                            "[DEBUG] Debug collection complete for [WLC3]"));
    EXPECT_EQ(timing_out->count("disconnect()"), 1);
    EXPECT_EQ(third->count("send_command(" + kCoreCmd + ", 300)"), 1);
}

TEST_F(DebugCollectionTest, CounterReadsFallBackToZero) {
    struct Case {
        const char* name;
        std::string cronjob;  // appended to the config
        int count;
        std::string after_increment;
    };
    const Case cases[] = {
        {"no CRONJOB section", "", 0, "1"},
        {"section without the key (the store fills in 0)", "[CRONJOB]\n", 0, "1"},
        {"not a number", "[CRONJOB]\ncollect_archive_wnccore_count = abc\n", 0, "1"},
        {"blanks around the number", "[CRONJOB]\ncollect_archive_wnccore_count =  2 \n", 2, "3"},
        {"a fraction is not a whole number", "[CRONJOB]\ncollect_archive_wnccore_count = 1.5\n", 0,
         "1"},
        {"capped at 99", "[CRONJOB]\ncollect_archive_wnccore_count = 99\n", 99, "99"},
        {"huge", "[CRONJOB]\ncollect_archive_wnccore_count = 123456789012345678901\n",
         std::numeric_limits<int>::max(), "99"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        write_config(kOneController + c.cronjob);
        auto engine = make_engine();
        EXPECT_EQ(engine->_get_collect_counter(), c.count);
        engine->_increment_collect_counter();
        EXPECT_THAT(
            read_text(engine->ini.path),
            HasSubstr("[CRONJOB]\ncollect_archive_wnccore_count = " + c.after_increment + "\n"));
        EXPECT_THAT(logs_starting("[DEBUG]"),
                    ElementsAre("[DEBUG] collect_archive_wnccore_count updated: " +
                                std::to_string(c.count) + " \u2192 " + c.after_increment));
    }
}

TEST_F(DebugCollectionTest, CounterThatCannotBeSavedKeepsItsValue) {
    write_config(kOneController + "[CRONJOB]\ncollect_archive_wnccore_count = 1\n");
    auto engine = make_engine();
    engine->ini.path = "/dev/null/confd/config.ini";
    engine->_increment_collect_counter();
    EXPECT_EQ(engine->_get_collect_counter(), 1);
    EXPECT_THAT(logs, ElementsAre(StartsWith("[DEBUG] Failed to update collect counter: ")));
}

TEST_F(DebugCollectionTest, CounterKeepsSettingsSavedSinceTheEngineLoadedTheFile) {
    write_config(kOneController + "[CRONJOB]\ncollect_archive_wnccore_count = 1\n");
    auto engine = make_engine();
    IniStore elsewhere(engine->ini.path);  // `quorvane config set` in another terminal
    elsewhere.set("AP", "ap_user", "new-admin");
    elsewhere.save();
    engine->_increment_collect_counter();
    const IniStore after(engine->ini.path);
    EXPECT_EQ(after.get("AP", "ap_user"), "new-admin");
    EXPECT_EQ(after.get("CRONJOB", "collect_archive_wnccore_count"), "2");
}

TEST_F(DebugCollectionTest, TwoCollectionsThenSkippedUntilReset) {
    write_config(kOneController);
    const std::string mac = "0011.22aa.bbcc";
    const std::vector<std::string> gate_lines[] = {
        {"[DEBUG] collect_archive_wnccore_count = 0",
         "[DEBUG] collect_archive_wnccore_count updated: 0 \u2192 1",
         "[DEBUG] Proceeding with archive + core collection (run 1/2)"},
        {"[DEBUG] collect_archive_wnccore_count = 1",
         "[DEBUG] collect_archive_wnccore_count updated: 1 \u2192 2",
         "[DEBUG] Proceeding with archive + core collection (run 2/2)"},
        {"[DEBUG] collect_archive_wnccore_count = 2",
         "[DEBUG] Skipping archive + core collection \u2014 already collected 2 times (count=2). "
         "Use 'Collect again' checkbox in Step7 to reset."},
    };
    for (int run = 0; run < 3; ++run) {
        SCOPED_TRACE(run);
        factory = FakeFactory();
        controller_with({mac});
        controller_with({mac})->outputs[detail_cmd(mac)] = client_detail("Authenticating", 1, 9);
        factory.succeed_next();
        auto debug = factory.succeed_next();
        // A fresh engine each time: the count has to come back from config.ini.
        auto engine = engine_with_window(0);
        engine->run_client_auth_workflow();
        std::vector<std::string> gate;
        for (const auto& line : logs) {
            if (line.rfind("[DEBUG] collect", 0) == 0 || line.rfind("[DEBUG] Proceeding", 0) == 0 ||
                line.rfind("[DEBUG] Skipping", 0) == 0) {
                gate.push_back(line);
            }
        }
        EXPECT_THAT(gate, ElementsAreArray(gate_lines[run]));
        const bool collected = run < 2;
        // The archive carries the stamp of the run's deleted-clients file.
        EXPECT_EQ(debug->count("send_command(request platform software trace archive last 1 "
                               "hour target bootflash:auth_issue_20260301_140509.tar.gz, 300)"),
                  collected ? 1 : 0);
        EXPECT_THAT(read_text(engine->ini.path), HasSubstr("collect_archive_wnccore_count = " +
                                                           std::to_string(std::min(run + 1, 2))));
    }
}

}  // namespace
}  // namespace quorvane::testing
