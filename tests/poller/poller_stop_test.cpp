// A stop in the middle of a large poll over real SSH: the run returns promptly, APs still
// queued are never logged in to, and no session stays open on the devices. Also runs under
// TSan.

#include <atomic>

#include "tests/poller/sim_fixture.hpp"

namespace quorvane::testing {
namespace {

TEST_F(SimPollTest, StopInTheMiddleOfALargePollReturnsPromptlyAndLeavesNoSessionOpen) {
    std::vector<fleetsim::Device> aps;
    // Only the first 30 APs can finish; the others stop answering at their fourth command,
    // so the run can only end through the stop, however fast the machine.
    for (int i = 0; i < 200; ++i) {
        auto ap = sim_ap("127.20." + std::to_string(i / 200) + "." + std::to_string(i % 200 + 1),
                         "AP-" + std::to_string(i));
        if (i >= 30) ap.faults.hang_on = "show clock";
        aps.push_back(ap);
    }
    start(sim_fleet(std::move(aps)));
    const ApRows rows = rows_of(sim->fleet());
    auto e = engine();
    auto* raw = e.get();
    std::atomic<int> reported{0};
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
            raw->shutdown();
        }
    };

    const auto [ok, failed] = e->run_ap_poller(
        rows, "AP", {"show boot", "show flash", "show filesystems", "show clock", "show boot"});

    EXPECT_EQ(std::make_pair(ok, failed), std::make_pair(30, 0));
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
