// Many clients at once across the event loops: what devices remember and record stays
// whole when sessions of one device run on different threads.
#include <gmock/gmock.h>

#include <atomic>
#include <thread>

#include "sim_fixture.hpp"

namespace fleetsim_test {
namespace {

TEST_F(FleetsimTest, ParallelSessionsKeepStateAndTranscriptsWhole) {
    constexpr int kThreads = 6;
    constexpr int kRounds = 4;
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            try {
                for (int r = 0; r < kRounds; ++r) {
                    auto c = enabled_ap();
                    c->command("delete /force /recursive /tmp/*", "AP-HQ-001#");
                    auto w = wlc();
                    w->command("show clock", kWlcPrompt);
                }
                // Each thread removes one client of its own.
                auto w = wlc();
                char mac[32];
                std::snprintf(mac, sizeof mac, "0011.22aa.%04x", t * 0x111);
                w->command(std::string("wireless client mac-address ") + mac + " deauthenticate",
                           kWlcPrompt);
            } catch (const std::exception& e) {
                ++failures;
                ADD_FAILURE() << e.what();
            }
        });
    }
    for (auto& t : threads) t.join();
    ASSERT_EQ(failures, 0);
    fleetsim::DeviceState ap_state = sim_->state(kAp);
    EXPECT_EQ(ap_state.cleanup_count, kThreads * kRounds);
    EXPECT_EQ(ap_state.logins, kThreads * kRounds);
    EXPECT_EQ(sim_->transcript(kAp).size(), static_cast<size_t>(kThreads * kRounds * 3));
    fleetsim::DeviceState wlc_state = sim_->state(kWlc);
    EXPECT_EQ(wlc_state.deauthenticated.size(), static_cast<size_t>(kThreads));
    EXPECT_EQ(wlc_state.clients.size(), 8u - kThreads);
    EXPECT_EQ(sim_->transcript(kWlc).size(), static_cast<size_t>(kThreads * (kRounds + 1)));
}

}  // namespace
}  // namespace fleetsim_test
