#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <future>
#include <thread>

#include "tests/clientauth/client_auth_fixture.hpp"

namespace quorvane::testing {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;
using ::testing::StartsWith;

const std::string kMarked = "aaaa.bbbb.0001";
const std::string kOtherState = "AAAA.BBBB.0002";
const std::string kGone = "aaaa.bbbb.0003";
const std::string kNew = "aaaa.bbbb.0004";

class StuckClientsTest : public ClientAuthTest {};

TEST_F(StuckClientsTest, FullRunOnOneControllerLogsRecordsAndCollects) {
    write_config(kOneController);
    auto f1 = controller_with({kMarked, kOtherState, kGone});
    auto f2 = controller_with({kMarked, kOtherState, kNew});
    f2->outputs[detail_cmd(kMarked)] = client_detail("Authenticating", 20, 600);
    f2->outputs[detail_cmd(kOtherState)] = client_detail("Run", 20, 600);
    auto pre = factory.succeed_next();
    auto debug = factory.succeed_next();
    debug->outputs
        ["request platform software trace archive last 1 hour target "
         "bootflash:auth_issue_20260301_142009.tar.gz"] =
        "Done with creation of the archive file: [bootflash:auth_issue_20260301_142009.tar.gz]";
    debug->outputs["request platform software process core wncd 0 chassis active r0"] =
        "SUCCESS: Core file generated.";
    auto engine = engine_with_window(900);

    const auto result = engine->run_client_auth_workflow();

    EXPECT_THAT(result, ElementsAre(kMarked));
    EXPECT_THAT(progress, ElementsAre(5, 20, 65, 75, 100));
    EXPECT_EQ(clock->sleep_seconds(), std::vector<long>(30, 30));
    const auto files = deleted_client_files(*engine);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].filename(), "deleted_clients_20260301_142009.txt");
    EXPECT_EQ(read_text(files[0]), "Auth Loop Deleted Clients \u2014 2026-03-01T14:20:09.123456\n" +
                                       std::string(50, '=') + "\n" + kMarked + "\n");

    const std::string connecting[] = {"[WLC] Checking SSH port on 10.9.9.1 (WLC)...",
                                      "[WLC] Connecting to 10.9.9.1 (WLC) ..."};
    std::vector<std::string> expected = {"[AUTH] ===== WLC: WLC =====",
                                         connecting[0],
                                         connecting[1],
                                         "[AUTH][CMD] " + kSummaryCmd,
                                         "[AUTH][RAW F1]\n" + f1->outputs[kSummaryCmd],
                                         "[AUTH] F1 MACs: ['aaaa.bbbb.0001', 'AAAA.BBBB.0002', "
                                         "'aaaa.bbbb.0003']",
                                         "[AUTH] Waiting 15 minutes..."};
    for (int s = 30; s < 900; s += 30) {
        expected.push_back("[AUTH] Still waiting... " + std::to_string(s) + "s / 900s");
    }
    const std::vector<std::string> rest = {
        "[AUTH] Reconnecting after wait...",
        connecting[0],
        connecting[1],
        "[AUTH][CMD] " + kSummaryCmd,
        "[AUTH][RAW F2]\n" + f2->outputs[kSummaryCmd],
        "[AUTH] F2 MACs: ['aaaa.bbbb.0001', 'AAAA.BBBB.0002', 'aaaa.bbbb.0004']",
        "[AUTH] Persistent clients: ['aaaa.bbbb.0001', 'AAAA.BBBB.0002']",
        "[AUTH][CMD] show wireless client mac aaaa.bbbb.0001 detail",
        "[AUTH][DETAIL]\n" + client_detail("Authenticating", 20, 600),
        "[AUTH] aaaa.bbbb.0001 \u2192 Connected: 20, Entry: 600",
        "[AUTH][MARKED] aaaa.bbbb.0001 added to delete list",
        "[AUTH][CMD] show wireless client mac AAAA.BBBB.0002 detail",
        "[AUTH][DETAIL]\n" + client_detail("Run", 20, 600),
        "[AUTH] AAAA.BBBB.0002 \u2192 Connected: 20, Entry: 600",
        "[AUTH][SKIP] AAAA.BBBB.0002 not in Authenticating state",
        "\n[AUTH] ===== CLIENT DETAIL (PRE-DELETION) =====",
        connecting[0],
        connecting[1],
        "[AUTH][PRE-DELETE CMD] show wireless client mac-address aaaa.bbbb.0001 detail",
        "[AUTH][PRE-DELETE DETAIL]\noutput of show wireless client mac-address aaaa.bbbb.0001 "
        "detail",
        "[AUTH] ===== END OF PRE-DELETE DETAILS =====\n",
        "[AUTH] FINAL DELETE LIST: ['aaaa.bbbb.0001']",
        "[AUTH] Deleted MACs saved to: " + files[0].string(),
        "[DEBUG] collect_archive_wnccore_count = 0",
        "[DEBUG] collect_archive_wnccore_count updated: 0 \u2192 1",
        "[DEBUG] Proceeding with archive + core collection (run 1/2)",
        "[DEBUG] ===== Collecting debugs for [WLC] =====",
        connecting[0],
        connecting[1],
        "[DEBUG][ARCHIVE] Running: request platform software trace archive last 1 hour target "
        "bootflash:auth_issue_20260301_142009.tar.gz",
        "[DEBUG][ARCHIVE OUTPUT]\nDone with creation of the archive file: "
        "[bootflash:auth_issue_20260301_142009.tar.gz]",
        "[DEBUG][ARCHIVE] SUCCESS \u2014 bootflash:auth_issue_20260301_142009.tar.gz",
        "[DEBUG][CORE] Running: request platform software process core wncd 0 chassis active r0",
        "[DEBUG][CORE OUTPUT]\nSUCCESS: Core file generated.",
        "[DEBUG][CORE] SUCCESS \u2014 Core file generated.",
        "[DEBUG] Debug collection complete for [WLC]",
    };
    expected.insert(expected.end(), rest.begin(), rest.end());
    EXPECT_THAT(logs, ElementsAreArray(expected));

    // One session per phase, each closed; none is held across the window.
    EXPECT_THAT(commands_of(*f1),
                ElementsAre("send_command(" + kSummaryCmd + ", none)", "disconnect()"));
    EXPECT_THAT(commands_of(*f2),
                ElementsAre("send_command(" + kSummaryCmd + ", none)",
                            "send_command(" + detail_cmd(kMarked) + ", none)",
                            "send_command(" + detail_cmd(kOtherState) + ", none)", "disconnect()"));
    EXPECT_EQ(pre->count("disconnect()"), 1);
    EXPECT_THAT(commands_of(*debug),
                ElementsAre("send_command(request platform software trace archive last 1 hour "
                            "target bootflash:auth_issue_20260301_142009.tar.gz, 300)",
                            "send_command(request platform software process core wncd 0 chassis "
                            "active r0, 300)",
                            "disconnect()"));
    EXPECT_THAT(read_text(engine->ini.path),
                HasSubstr("[CRONJOB]\ncollect_archive_wnccore_count = 1\n"));
}

TEST_F(StuckClientsTest, DetailDecidesWhetherAPersistentClientIsMarked) {
    struct Case {
        const char* name;
        std::string detail;
        std::string verdict;  // the last log line about the MAC
    };
    const std::string mac = "0011.22aa.bbcc";
    const Case cases[] = {
        {"entry after connected", client_detail("Authenticating", 20, 600),
         "[AUTH][MARKED] 0011.22aa.bbcc added to delete list"},
        {"no blanks around the colons",
         "Connected For:20\nPolicy Manager State: Authenticating\nClient Entry Create Time:600",
         "[AUTH][MARKED] 0011.22aa.bbcc added to delete list"},
        {"equal values", client_detail("Authenticating", 600, 600),
         "[AUTH][SKIP] 0011.22aa.bbcc timing condition failed"},
        {"entry before connected", client_detail("Authenticating", 600, 20),
         "[AUTH][SKIP] 0011.22aa.bbcc timing condition failed"},
        {"both values missing", client_detail("Authenticating", std::nullopt, std::nullopt),
         "[AUTH][SKIP] 0011.22aa.bbcc timing condition failed"},
        {"other state", client_detail("Run", 20, 600),
         "[AUTH][SKIP] 0011.22aa.bbcc not in Authenticating state"},
        {"state text is case-sensitive", client_detail("authenticating", 20, 600),
         "[AUTH][SKIP] 0011.22aa.bbcc not in Authenticating state"},
        {"client gone", "% Client 0011.22aa.bbcc not found",
         "[AUTH][SKIP] 0011.22aa.bbcc not in Authenticating state"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        write_config(kOneController);
        controller_with({mac});
        controller_with({mac})->outputs[detail_cmd(mac)] = c.detail;
        factory.succeed_next();
        factory.succeed_next();
        auto engine = engine_with_window(0);
        const auto result = engine->run_client_auth_workflow();
        const bool marked = c.verdict.find("MARKED") != std::string::npos;
        EXPECT_EQ(result, marked ? std::vector<std::string>{mac} : std::vector<std::string>{});
        EXPECT_THAT(logs_starting("[AUTH][" + std::string(marked ? "MARKED" : "SKIP")),
                    ElementsAre(c.verdict));
        factory = FakeFactory();
    }
}

TEST_F(StuckClientsTest, EmptyDeleteListWritesOnlyTheHeadingAndLeavesTheCounter) {
    struct Case {
        const char* name;
        std::vector<std::string> f1, f2;
        std::string persistent;
    };
    const Case cases[] = {
        {"both fetches empty", {}, {}, "[AUTH] Persistent clients: []"},
        {"client only in the first fetch", {kGone}, {kNew}, "[AUTH] Persistent clients: []"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        write_config(kOneController + "[CRONJOB]\ncollect_archive_wnccore_count = 1\n");
        controller_with(c.f1);
        auto f2 = controller_with(c.f2);
        auto engine = engine_with_window(60);
        EXPECT_THAT(engine->run_client_auth_workflow(), IsEmpty());
        EXPECT_THAT(logs, Contains(c.persistent));
        EXPECT_THAT(logs, Contains("[AUTH] FINAL DELETE LIST: []"));
        EXPECT_THAT(commands_of(*f2),
                    ElementsAre("send_command(" + kSummaryCmd + ", none)", "disconnect()"));
        EXPECT_THAT(logs, Not(Contains(HasSubstr("PRE-DELETION"))));
        EXPECT_THAT(logs, Not(Contains(StartsWith("[DEBUG]"))));
        const auto files = deleted_client_files(*engine);
        ASSERT_EQ(files.size(), 1u);
        EXPECT_EQ(read_text(files[0]),
                  "Auth Loop Deleted Clients \u2014 2026-03-01T14:06:09.123456\n" +
                      std::string(50, '=') + "\n");
        EXPECT_THAT(read_text(engine->ini.path), HasSubstr("collect_archive_wnccore_count = 1\n"));
        EXPECT_THAT(progress, ElementsAre(5, 20, 65, 75, 100));
        EXPECT_THAT(logs_starting("[AUTH] Still waiting"),
                    ElementsAre("[AUTH] Still waiting... 30s / 60s"));
        progress.clear();
        clock = std::make_shared<FakeClock>(test_start_time());
    }
}

TEST_F(StuckClientsTest, ControllersInOrderAndAMacConfirmedTwiceIsListedTwice) {
    write_config(kTwoControllers);
    const std::string mac = "0011.22aa.bbcc";
    controller_with({mac});
    controller_with({mac})->outputs[detail_cmd(mac)] = client_detail("Authenticating", 1, 9);
    controller_with({mac, kMarked});
    auto second_f2 = controller_with({kMarked, mac});
    second_f2->outputs[detail_cmd(mac)] = client_detail("Authenticating", 1, 9);
    second_f2->outputs[detail_cmd(kMarked)] = client_detail("Authenticating", 1, 9);
    auto pre_first = factory.succeed_next();
    auto pre_second = factory.succeed_next();
    factory.succeed_next();
    factory.succeed_next();
    auto engine = engine_with_window(30);

    EXPECT_THAT(engine->run_client_auth_workflow(), ElementsAre(mac, mac, kMarked));
    EXPECT_THAT(progress, ElementsAre(5, 20, 65, 75, 20, 65, 75, 100));
    EXPECT_THAT(logs_starting("[AUTH] ====="),
                ElementsAre("[AUTH] ===== WLC: WLC =====", "[AUTH] ===== WLC: WLC2 =====",
                            "[AUTH] ===== END OF PRE-DELETE DETAILS =====\n"));
    // Every controller is asked about every confirmed MAC before anything is removed.
    for (const auto& pre : {pre_first, pre_second}) {
        EXPECT_EQ(
            pre->count("send_command(show wireless client mac-address " + mac + " detail, none)"),
            2);
        EXPECT_EQ(pre->count("send_command(show wireless client mac-address " + kMarked +
                             " detail, none)"),
                  1);
    }
    EXPECT_THAT(read_text(deleted_client_files(*engine).at(0)),
                HasSubstr("\n" + mac + "\n" + mac + "\n" + kMarked + "\n"));
}

TEST_F(StuckClientsTest, PreDeletionFailureOnOneControllerIsLoggedAndSkipped) {
    write_config(kTwoControllers);
    controller_with({});
    controller_with({});
    controller_with({kMarked});
    controller_with({kMarked})->outputs[detail_cmd(kMarked)] =
        client_detail("Authenticating", 1, 9);
    for (int i = 0; i < 3; ++i) factory.fail_next("Authentication failed");
    auto pre_second = factory.succeed_next();
    factory.succeed_next();
    factory.succeed_next();
    auto engine = engine_with_window(0);

    EXPECT_THAT(engine->run_client_auth_workflow(), ElementsAre(kMarked));
    EXPECT_THAT(logs, Contains("[AUTH] Pre-delete detail fetch failed (WLC): WLC 10.9.9.1 "
                               "connection failed after retries"));
    EXPECT_EQ(pre_second->count("send_command(show wireless client mac-address " + kMarked +
                                " detail, none)"),
              1);
    EXPECT_THAT(logs, Contains("[DEBUG] Debug collection complete for [WLC2]"));
}

TEST_F(StuckClientsTest, ErrorOnAControllerEndsTheRunWithItAndClosesTheSession) {
    struct Case {
        const char* name;
        std::function<std::shared_ptr<FakeSession>()> script;
        std::string error;
    };
    const Case cases[] = {
        {"second connection refused",
         [this] {
             auto f1 = controller_with({kMarked});
             for (int i = 0; i < 3; ++i) factory.fail_next("Connection refused");
             return f1;
         },
         "WLC 10.9.9.1 connection failed after retries"},
        {"detail command times out",
         [this] {
             controller_with({kMarked});
             auto f2 = controller_with({kMarked});
             f2->failing[detail_cmd(kMarked)] = "Pattern not detected: 'WLC1#'";
             return f2;
         },
         "Pattern not detected: 'WLC1#'"},
        {"first summary fails",
         [this] {
             auto f1 = factory.succeed_next();
             f1->failing[kSummaryCmd] = "Socket closed";
             return f1;
         },
         "Socket closed"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        write_config(kTwoControllers);
        factory = FakeFactory();
        auto last = c.script();
        auto engine = engine_with_window(0);
        try {
            engine->run_client_auth_workflow();
            ADD_FAILURE() << "no error";
        } catch (const std::exception& e) {
            EXPECT_EQ(std::string(e.what()), c.error);
        }
        EXPECT_EQ(last->count("disconnect()"), 1);
        EXPECT_THAT(deleted_client_files(*engine), IsEmpty());
        EXPECT_THAT(logs, Not(Contains(StartsWith("[DEBUG]"))));
        EXPECT_THAT(logs, Not(Contains(HasSubstr("WLC2"))));
    }
}

TEST_F(StuckClientsTest, StopDuringTheFirstWindowReturnsNothingAndWritesNothing) {
    write_config(kTwoControllers);
    controller_with({kMarked});
    auto hook_clock = std::make_shared<HookClock>(test_start_time());
    clock = hook_clock;
    auto engine = engine_with_window(900);
    hook_clock->hook = [&](int sleeps) {
        if (sleeps == 2) engine->shutdown();
    };

    EXPECT_THAT(engine->run_client_auth_workflow(), IsEmpty());
    EXPECT_THAT(hook_clock->sleep_seconds(), ElementsAre(30, 30));
    EXPECT_THAT(progress, ElementsAre(5, 20));
    // The step the stop cut short is not reported as waited.
    EXPECT_THAT(logs_starting("[AUTH] Still waiting"),
                ElementsAre("[AUTH] Still waiting... 30s / 900s"));
    EXPECT_THAT(logs, Not(Contains(StartsWith("[AUTH] Reconnecting"))));
    EXPECT_THAT(deleted_client_files(*engine), IsEmpty());
    EXPECT_EQ(probes.size(), 1u);
}

TEST_F(StuckClientsTest, StopFromAnotherThreadWakesTheWindowAtOnce) {
    write_config(kOneController);
    controller_with({kMarked});
    // Every slice of the window waits for the stop and nothing else: a stop that did not
    // wake it would hold the test until the suite's time-out.
    struct StopOnlyClock : Clock {
        std::chrono::system_clock::time_point now() override {
            return std::chrono::system_clock::now();
        }
        void sleep_for(std::chrono::milliseconds) override {}
        bool sleep_unless_stopped(std::chrono::milliseconds, const StopSignal& stop) override {
            return !stop.wait_for(std::chrono::hours(1));
        }
    };
    auto engine = make_engine();
    engine->options.clock = std::make_shared<StopOnlyClock>();
    std::promise<void> waiting;
    engine->log_cb = [&](const std::string& line) {
        if (line == "[AUTH] Waiting 15 minutes...") waiting.set_value();
    };
    std::thread stopper([&] {
        waiting.get_future().wait();
        engine->shutdown();
    });
    const auto result = engine->run_client_auth_workflow();
    stopper.join();
    EXPECT_THAT(result, IsEmpty());
}

TEST_F(StuckClientsTest, UnwritableRunFolderIsLoggedAndTheListStillReturned) {
    write_config(kOneController);
    controller_with({kMarked});
    controller_with({kMarked})->outputs[detail_cmd(kMarked)] =
        client_detail("Authenticating", 1, 9);
    factory.succeed_next();
    factory.succeed_next();
    auto engine = engine_with_window(0);
    engine->data_dir = "/dev/null/run";
    EXPECT_THAT(engine->run_client_auth_workflow(), ElementsAre(kMarked));
    EXPECT_THAT(logs, Contains(StartsWith("[AUTH] Failed to save MAC file: ")));
    EXPECT_THAT(logs, Contains("[DEBUG] Proceeding with archive + core collection (run 1/2)"));
    EXPECT_EQ(progress.back(), 100);
}

TEST_F(StuckClientsTest, CollectionLeftOutRunsOnlyWhenTheHostAsksForIt) {
    write_config(kOneController);
    controller_with({kMarked});
    controller_with({kMarked})->outputs[detail_cmd(kMarked)] =
        client_detail("Authenticating", 1, 9);
    factory.succeed_next();
    auto engine = engine_with_window(0);
    engine->options.auth_debug_collection = false;
    EXPECT_THAT(engine->run_client_auth_workflow(), ElementsAre(kMarked));
    EXPECT_THAT(logs, Not(Contains(StartsWith("[DEBUG]"))));
    EXPECT_EQ(progress.back(), 100);

    factory.succeed_next();
    engine->collect_auth_debugs({"WLC"}, "20260301_142009");
    EXPECT_THAT(logs, Contains("[DEBUG] Proceeding with archive + core collection (run 1/2)"));
    EXPECT_THAT(logs, Contains(HasSubstr("bootflash:auth_issue_20260301_142009.tar.gz")));
}

TEST_F(StuckClientsTest, DeauthSendsEveryMacToEveryController) {
    write_config(kTwoControllers);
    auto first = factory.succeed_next();
    auto second = factory.succeed_next();
    auto engine = make_engine();
    const std::vector<std::string> macs = {"0011.22aa.0001", "0011.22aa.0002", "0011.22AA.0003"};
    engine->deauth_clients(macs);
    for (const auto& session : {first, second}) {
        EXPECT_THAT(commands_of(*session),
                    ElementsAre("send_command(wireless client mac-address 0011.22aa.0001 "
                                "deauthenticate, none)",
                                "send_command(wireless client mac-address 0011.22aa.0002 "
                                "deauthenticate, none)",
                                "send_command(wireless client mac-address 0011.22AA.0003 "
                                "deauthenticate, none)",
                                "disconnect()"));
    }
    EXPECT_THAT(logs_starting("[AUTH]"),
                ElementsAre("[AUTH] Deauth 0011.22aa.0001", "[AUTH] Deauth 0011.22aa.0002",
                            "[AUTH] Deauth 0011.22AA.0003", "[AUTH] Deauth 0011.22aa.0001",
                            "[AUTH] Deauth 0011.22aa.0002", "[AUTH] Deauth 0011.22AA.0003"));
}

TEST_F(StuckClientsTest, DeauthStopsAtTheFirstFailingController) {
    write_config(kTwoControllers);
    auto first = factory.succeed_next();
    first->failing["wireless client mac-address 0011.22aa.0001 deauthenticate"] = "Socket closed";
    auto engine = make_engine();
    EXPECT_THROW(engine->deauth_clients({"0011.22aa.0001", "0011.22aa.0002"}), std::runtime_error);
    EXPECT_EQ(first->count("disconnect()"), 1);
    EXPECT_EQ(factory.params().size(), 1u);

    unreachable.insert("10.9.9.1");
    auto engine2 = make_engine();
    try {
        engine2->deauth_clients({"0011.22aa.0001"});
        ADD_FAILURE() << "no error";
    } catch (const std::exception& e) {
        EXPECT_EQ(std::string(e.what()), "WLC 10.9.9.1 (WLC) unreachable on port 22");
    }
    EXPECT_EQ(factory.params().size(), 1u);
}

}  // namespace
}  // namespace quorvane::testing
