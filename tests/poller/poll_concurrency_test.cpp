// Many workers, one registry, a stop from another thread: no session is left open, none is
// kept alive by the registry, and nothing races (this suite also runs under TSan).

#include <atomic>
#include <random>
#include <thread>

#include "quorvane/poller/ap_log_file.hpp"
#include "tests/poller/poller_fixture.hpp"

namespace quorvane::testing {
namespace {

class CountedSession : public FakeAp {
  public:
    explicit CountedSession(std::atomic<int>& destroyed) : destroyed_(destroyed) {}
    ~CountedSession() override { ++destroyed_; }

  private:
    std::atomic<int>& destroyed_;
};

TEST(SessionRegistryTest, HoldsNoSessionItsOwnerLetGoOf) {
    std::atomic<int> destroyed{0};
    SessionRegistry registry;
    auto kept = std::make_shared<CountedSession>(destroyed);
    registry.add(kept);
    for (int i = 0; i < 5000; ++i) registry.add(std::make_shared<CountedSession>(destroyed));
    EXPECT_EQ(destroyed.load(), 5000);
    EXPECT_EQ(registry.size(), 1u);
    EXPECT_EQ(registry.sweep().size(), 1u);
}

TEST(SessionRegistryTest, EverySessionAddedAroundASweepIsEnded) {
    for (int round = 0; round < 20; ++round) {
        SessionRegistry registry;
        std::vector<std::shared_ptr<FakeAp>> sessions(400);
        for (auto& s : sessions) s = std::make_shared<FakeAp>();
        std::atomic<bool> go{false};
        std::vector<std::thread> adders;
        for (int t = 0; t < 4; ++t) {
            adders.emplace_back([&, t] {
                while (!go) std::this_thread::yield();
                for (std::size_t i = t; i < sessions.size(); i += 4) registry.add(sessions[i]);
            });
        }
        go = true;
        for (const auto& s : registry.sweep()) end_session(*s);
        for (auto& t : adders) t.join();
        for (const auto& s : sessions) ASSERT_TRUE(s->closed());
    }
}

class PollConcurrencyTest : public PollerTest {};

TEST_F(PollConcurrencyTest, StopFromAnotherThreadLeavesNoSessionOpen) {
    std::mt19937 random(7);
    for (int round = 0; round < 6; ++round) {
        ApRows list;
        std::vector<std::shared_ptr<FakeAp>> sessions;
        for (int i = 0; i < 120; ++i) {
            const std::string ip =
                "10.2." + std::to_string(i / 250) + "." + std::to_string(i % 250);
            list.push_back(make_ap_row(ip, "C9130AXI-B", "AP-" + std::to_string(i)));
            sessions.push_back(ap(ip));
        }
        auto engine = make_poller();
        std::atomic<int> reported{0};
        engine->ap_update_cb = [&](int, const std::string&, const std::string&, const std::string&,
                                   const std::string&, const std::string&) { ++reported; };
        const int stop_after = static_cast<int>(random() % 60);
        std::thread stopper([&] {
            while (reported < stop_after) std::this_thread::yield();
            engine->shutdown();
        });
        const auto [ok, failed] =
            engine->run_ap_poller(list, "AP", {"show clock", "show boot", "show flash"});
        stopper.join();
        EXPECT_LE(ok + failed, 120);
        engine.reset();
        for (const auto& s : sessions) {
            const auto calls = s->calls();
            // Never connected, or ended: disconnected by its poll or by the sweep.
            if (!calls.empty()) {
                EXPECT_TRUE(s->closed());
            }
        }
        script_.clear();
    }
}

TEST_F(PollConcurrencyTest, ConcurrentPollsAppendWholePiecesToSharedFiles) {
    // APs with one name in one controller folder share a file: their pieces interleave,
    // but no append is ever split by another.
    ApRows list;
    for (int i = 0; i < 40; ++i) {
        const std::string ip = "10.3.0." + std::to_string(i + 1);
        list.push_back(make_ap_row(ip, "C9130AXI-B", "SAME", "", "10.0.0.5"));
        ap(ip)->outputs["show clock"] = std::string(20000, 'a' + static_cast<char>(i % 26));
    }
    auto engine = make_poller();
    EXPECT_EQ(engine->run_ap_poller(list, "AP", {"show clock"}), std::make_pair(40, 0));
    const std::string text = read_text(ap_log_path(engine->data_dir, "AP", *list[0]));
    std::size_t blocks = 0;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (line.empty() || line[0] < 'a' || line[0] > 'z') continue;
        EXPECT_EQ(line, std::string(20000, line[0]));
        ++blocks;
    }
    EXPECT_EQ(blocks, 40u);
}

}  // namespace
}  // namespace quorvane::testing
