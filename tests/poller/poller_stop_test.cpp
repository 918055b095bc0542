// A stop in the middle of a large poll over real SSH: the run returns promptly, APs still
// queued are never logged in to, and no session stays open on the devices. Also runs under
// TSan.

#include <atomic>

#include "tests/poller/sim_fixture.hpp"

namespace quorvane::testing {
namespace {

TEST_F(SimPollTest, StopInTheMiddleOfALargePollReturnsPromptlyAndLeavesNoSessionOpen) {
    std::vector<fleetsim::Device> aps;
    for (int i = 0; i < 200; ++i) {
        auto ap = sim_ap("127.20." + std::to_string(i / 200) + "." + std::to_string(i % 200 + 1),
                         "AP-" + std::to_string(i));
        ap.faults.delay_ms = 40;
        aps.push_back(ap);
    }
    start(sim_fleet(std::move(aps)));
    const ApRows rows = rows_of(sim->fleet());
    auto e = engine();
    auto* raw = e.get();
    std::atomic<int> reported{0};
    std::chrono::steady_clock::time_point stopped_at;
    const auto logged_in = [&] {
        int n = 0;
        for (const auto& row : rows) n += sim->state(row->ip).logins > 0;
        return n;
    };
    int logged_in_at_stop = 0;
    e->ap_update_cb = [&](int, const std::string&, const std::string&, const std::string&,
                          const std::string&, const std::string&) {
        if (++reported == 30) {
            logged_in_at_stop = logged_in();
            stopped_at = std::chrono::steady_clock::now();
            raw->shutdown();
        }
    };

    const auto [ok, failed] = e->run_ap_poller(
        rows, "AP", {"show boot", "show flash", "show filesystems", "show clock", "show boot"});
    const auto returned = std::chrono::steady_clock::now();

    EXPECT_EQ(ok + failed, 30);
    EXPECT_LT(returned - stopped_at, std::chrono::seconds(3));
    EXPECT_TRUE(no_connection_left());
    // After the stop only logins already under way on a worker could complete; the APs
    // still queued were never logged in to.
    const int touched = logged_in();
    EXPECT_LE(touched, logged_in_at_stop + compute_max_workers(200));
    EXPECT_LT(touched, 200);
    e.reset();
    EXPECT_EQ(sim->open_connections(), 0);
}

}  // namespace
}  // namespace quorvane::testing
