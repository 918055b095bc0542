// The poll run over scripted APs: order of reports, counters, progress, stop, modes, and
// the engine's life after a stop.

#include <algorithm>
#include <chrono>
#include <system_error>
#include <thread>

#include "tests/poller/poller_fixture.hpp"

namespace quorvane::testing {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

struct Update {
    int idx;
    std::string ip, model, status, name, wlc_ip;
};

const std::string kApIp = "10.0.1.1";

class PollRunTest : public PollerTest {
  protected:
    ApRows rows(int n) {
        ApRows out;
        for (int i = 0; i < n; ++i) {
            out.push_back(make_ap_row("10.0.1." + std::to_string(i + 1), "C9130AXI-B",
                                      "AP-" + std::to_string(i), "", "10.0.0.5"));
        }
        return out;
    }
    std::unique_ptr<Quorvane> engine_with_updates() {
        auto engine = make_poller();
        engine->ap_update_cb = [this](int idx, const std::string& ip, const std::string& model,
                                      const std::string& status, const std::string& name,
                                      const std::string& wlc_ip) {
            {
                std::lock_guard lock(turn_mutex);
                updates.push_back({idx, ip, model, status, name, wlc_ip});
                ++turn;
            }
            turn_changed.notify_all();
        };
        return engine;
    }
    // The AP finishes only once `before` updates have been reported, which fixes the order
    // in which the APs finish.
    void finish_after(FakeAp& session, int before) {
        session.on_command = [this, before](const std::string& cmd) {
            if (cmd != "show inventory") return;
            std::unique_lock lock(turn_mutex);
            turn_changed.wait(lock, [&] { return turn >= before; });
        };
    }
    // Lets every AP still held by finish_after go on.
    void release_all() {
        {
            std::lock_guard lock(turn_mutex);
            turn = 1 << 20;
        }
        turn_changed.notify_all();
    }
    std::vector<int> indices() const {
        std::vector<int> out;
        for (const auto& u : updates) out.push_back(u.idx);
        return out;
    }

    std::mutex turn_mutex;
    std::condition_variable turn_changed;
    int turn = 0;
    std::vector<Update> updates;
};

TEST_F(PollRunTest, ResultsAreReportedInTheOrderTheApsFinish) {
    const ApRows list = rows(3);
    const int finishing_order[] = {1, 2, 0};  // AP 2 first, then AP 0, then AP 1
    for (int i = 0; i < 3; ++i) finish_after(*ap(list[i]->ip), finishing_order[i]);
    auto engine = engine_with_updates();

    const auto [ok, failed] = engine->run_ap_poller(list, "AP", {"show clock"});

    EXPECT_EQ(std::make_pair(ok, failed), std::make_pair(3, 0));
    EXPECT_THAT(indices(), ElementsAre(2, 0, 1));
    EXPECT_THAT(progress, ElementsAre(33, 66, 100));
    const Update& first = updates[0];
    EXPECT_EQ(
        std::make_tuple(first.ip, first.model, first.status, first.name, first.wlc_ip),
        std::make_tuple(std::string("10.0.1.3"), std::string("C9130AXI-E"), std::string("Success"),
                        std::string("AP-2"), std::string("10.0.0.5")));
    const auto lines = log_lines();
    EXPECT_EQ(lines.front(), "[AP] Mode=AP Custom Cmd List | Commands to run: ['show clock']");
    EXPECT_EQ(lines[1], "ApFilteredCnt=3 -> MAX_WORKERS=3");
    EXPECT_EQ(lines.back(), "[AP] Done. Success=3 Fail=0 Time=0s");
    EXPECT_FALSE(engine->executor);
    EXPECT_EQ(std::make_pair(engine->success, engine->failed), std::make_pair(3, 0));
}

TEST_F(PollRunTest, EveryStatusButSuccessCountsAsAFailure) {
    const ApRows list = rows(4);
    ap(list[0]->ip);
    unreachable.insert(list[1]->ip);  // and nothing scripted: retries exhausted
    ap(list[2]->ip)->enable_error = "% Bad secrets";
    ap(list[3]->ip);
    auto engine = engine_with_updates();
    EXPECT_EQ(engine->run_ap_poller(list, "AP", {}), std::make_pair(2, 2));
    std::map<int, std::string> statuses;
    for (const auto& u : updates) statuses[u.idx] = u.status;
    EXPECT_THAT(statuses, ElementsAre(std::make_pair(0, "Success"),
                                      std::make_pair(1, "Fail: Connection retries exhausted"),
                                      std::make_pair(2, "Failed: % Bad secrets"),
                                      std::make_pair(3, "Success")));
    EXPECT_EQ(log_lines().back(), "[AP] Done. Success=2 Fail=2 Time=9s");
}

TEST_F(PollRunTest, StopDuringCollectionDropsTheRemainingResults) {
    const ApRows list = rows(10);
    for (int i = 0; i < 10; ++i) finish_after(*ap(list[i]->ip), i);
    auto engine = engine_with_updates();
    auto* raw = engine.get();
    engine->ap_update_cb = [this, raw, inner = engine->ap_update_cb](
                               int idx, const std::string& ip, const std::string& model,
                               const std::string& status, const std::string& name,
                               const std::string& wlc_ip) {
        if (idx == 4) raw->_shutdown_event = true;
        inner(idx, ip, model, status, name, wlc_ip);
    };

    EXPECT_EQ(engine->run_ap_poller(list, "AP", {"show clock"}), std::make_pair(5, 0));
    release_all();
    EXPECT_THAT(indices(), ElementsAre(0, 1, 2, 3, 4));
    EXPECT_THAT(progress, ElementsAre(10, 20, 30, 40, 50));
    const auto lines = log_lines();
    EXPECT_THAT(lines,
                Contains("[AP] shutdown requested during polling; stopping result handling."));
    EXPECT_EQ(lines.back(), "[AP] Done. Success=5 Fail=0 Time=0s");
}

TEST_F(PollRunTest, StopBeforeTheCallSubmitsNothing) {
    const ApRows list = rows(3);
    auto engine = engine_with_updates();
    engine->shutdown();
    EXPECT_EQ(engine->run_ap_poller(list, "AP", {"show clock"}), std::make_pair(0, 0));
    EXPECT_THAT(connects, IsEmpty());
    EXPECT_THAT(updates, IsEmpty());
    EXPECT_THAT(log_lines(),
                ElementsAre("[AP] Mode=AP Custom Cmd List | Commands to run: ['show clock']",
                            "ApFilteredCnt=3 -> MAX_WORKERS=3",
                            "[AP] shutdown requested before submitting all tasks",
                            "[AP] Done. Success=0 Fail=0 Time=0s"));
}

TEST_F(PollRunTest, ARaisingProgressCallbackEndsTheRunAndReachesTheCaller) {
    const ApRows list = rows(3);
    for (int i = 0; i < 3; ++i) finish_after(*ap(list[i]->ip), i);
    auto engine = engine_with_updates();
    engine->progress_cb = [](int) { throw std::runtime_error("display gone"); };
    EXPECT_THROW(engine->run_ap_poller(list, "AP", {}), std::runtime_error);
    release_all();
    EXPECT_FALSE(engine->executor);
    EXPECT_THAT(updates, IsEmpty());
    for (const auto& line : log_lines()) EXPECT_THAT(line, ::testing::Not(HasSubstr("Done.")));
}

TEST_F(PollRunTest, EmptyListLogsThreeLines) {
    auto engine = engine_with_updates();
    EXPECT_EQ(engine->run_ap_poller({}, "AP", {}), std::make_pair(0, 0));
    EXPECT_THAT(log_lines(), ElementsAre("[AP] Mode=AP Custom Cmd List | Commands to run: []",
                                         "ApFilteredCnt=0 -> MAX_WORKERS=1",
                                         "[AP] Done. Success=0 Fail=0 Time=0s"));
    EXPECT_THAT(progress, IsEmpty());
}

TEST_F(PollRunTest, ImageDownloadModeBuildsTheListOnlyWhenNoneIsGiven) {
    struct Case {
        std::string mode;
        std::vector<std::string> cmds;
        std::string logged;
        std::string sent;  // a command the AP must receive, or "" for none beyond identification
    };
    const std::vector<Case> cases = {
        {"AP Image Download",
         {},
         "['ip sftp username svc', 'ip sftp password ****', "
         "'copy sftp://10.0.0.9/images/ap-image.tar flash:ap-image.tar']",
         "send_command(ip sftp password ftp-s3cret, 180)"},
        {"AP Image Download", {"show boot"}, "['show boot']", "send_command(show boot, 180)"},
        {"AP Custom Cmd List", {}, "[]", ""},
    };
    for (const auto& c : cases) {
        const ApRows list = rows(1);
        auto session = ap(list[0]->ip);
        session->queue_channel({"bytes copied\r\nAP1#"});
        auto engine = engine_with_updates();
        engine->run_ap_poller(list, "AP", c.cmds, c.mode);
        EXPECT_EQ(log_lines().front(), "[AP] Mode=" + c.mode + " | Commands to run: " + c.logged);
        const auto calls = session->calls();
        if (c.sent.empty()) {
            EXPECT_EQ(calls.size(), 5u);  // enable, paging, two identification commands, end
        } else {
            EXPECT_THAT(calls, Contains(c.sent));
        }
        for (const auto& line : log_lines()) EXPECT_THAT(line, ::testing::Not(HasSubstr("s3cret")));
    }
}

// A run that returns after a stop leaves tasks running; destroying the engine ends them
// first, even one sleeping through a long pause on the real clock.
TEST_F(PollRunTest, DestroyingTheEngineAfterAStopEndsTheTasksLeftRunning) {
    const ApRows list = rows(2);
    auto blocked = ap(list[0]->ip);
    blocked->block_until_disconnected("show clock");
    auto pausing = ap(list[1]->ip);
    auto engine = make_poller(system_clock());
    auto* raw = engine.get();
    std::atomic<bool> stopped{false};
    engine->log_cb = [&, raw](const std::string& line) {
        if (line == "[SLEEP] Waiting 3600s before next command..." && !stopped.exchange(true)) {
            raw->shutdown();
        }
    };
    engine->run_ap_poller(list, "AP", {"show clock", "sleep_3600", "show version"});
    EXPECT_TRUE(stopped);
    EXPECT_TRUE(blocked->closed());

    // A task that kept sleeping would hold the reset for an hour (the suite's time-out).
    engine.reset();
    // The paused task ended before the engine was gone and never sent its next command.
    EXPECT_EQ(pausing->count("send_command(show version, 180)"), 0);
    EXPECT_TRUE(pausing->closed());
}

TEST_F(PollRunTest, EachAddressIsPolledOnceAndANullRowIsAFailedAp) {
    ApRows list = rows(2);
    list.push_back(make_ap_row(list[0]->ip, "C9130AXI-B", "AP-0-again", "", "10.0.0.6"));
    list.push_back(nullptr);
    ap(list[0]->ip);
    ap(list[0]->ip);  // a second session would be taken by a second poll
    ap(list[1]->ip);
    auto engine = engine_with_updates();

    EXPECT_EQ(engine->run_ap_poller(list, "AP", {"show clock"}), std::make_pair(2, 1));

    EXPECT_EQ(std::count(connects.begin(), connects.end(), list[0]->ip), 1);
    std::map<int, std::string> reported;
    for (const auto& u : updates) reported[u.idx] = u.status + " " + u.name + " " + u.wlc_ip;
    EXPECT_THAT(reported, ElementsAre(std::make_pair(0, "Success AP-0 10.0.0.5"),
                                      std::make_pair(1, "Success AP-1 10.0.0.5"),
                                      std::make_pair(2, "Success AP-0-again 10.0.0.6"),
                                      std::make_pair(3, "Failed: no AP row at position 4  ")));
    EXPECT_EQ(progress.back(), 100);
    EXPECT_THAT(log_lines(),
                Contains("[AP] (3) 10.0.1.1 (AP-0-again) is listed again: polled once, as AP (1)"));
    // The model the AP reported reaches the shared rows through the run's own thread.
    EXPECT_EQ(list[0]->model, "C9130AXI-E");
    EXPECT_EQ(list[2]->model, "C9130AXI-E");
}

TEST_F(PollRunTest, StopDuringAPauseEndsThePauseAndTheAp) {
    auto session = ap(kApIp);
    auto engine = make_poller();
    auto* raw = engine.get();
    engine->log_cb = [raw](const std::string& line) {
        if (line.starts_with("[SLEEP] Still waiting... 30s")) raw->shutdown();
    };
    const PollResult result = engine->_poll_one_ap(0, make_ap_row(kApIp, "C9130AXI-B", "AP-0"),
                                                   "AP", {"show clock", "sleep_3600"});
    EXPECT_EQ(result.status, "Cancelled");
    EXPECT_EQ(clock->sleep_seconds(), (std::vector<long>{30}));
}

// Thread starts that fail: the first one leaves the pool without threads, so the run
// fails; a start that emulates a shutdown landing between the stop check and the next
// submission ends the run as a stop.
TEST_F(PollRunTest, AWorkerThatCannotStartOrAShutdownDuringSubmissionEndsTheRunCleanly) {
    {
        const ApRows list = rows(2);
        auto engine = make_poller();
        engine->options.start_thread = [](std::function<void()>) -> std::thread {
            throw std::system_error(
                std::make_error_code(std::errc::resource_unavailable_try_again));
        };
        EXPECT_THROW(engine->run_ap_poller(list, "AP", {}), std::system_error);
        EXPECT_FALSE(engine->executor);
    }  // the engine's destructor returns: no thread is waited for that never started
    {
        const ApRows list = rows(2);
        ap(list[0]->ip);
        auto engine = engine_with_updates();
        auto* raw = engine.get();
        engine->options.start_thread = [raw](std::function<void()> body) {
            raw->executor.get()->shutdown(false);
            return std::thread(std::move(body));
        };
        EXPECT_EQ(engine->run_ap_poller(list, "AP", {}), std::make_pair(1, 0));
        EXPECT_THAT(log_lines(), Contains("[AP] shutdown requested before submitting all tasks"));
    }
}

}  // namespace
}  // namespace quorvane::testing
