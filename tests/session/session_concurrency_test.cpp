#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "quorvane/engine/ssh/ssh_connect.hpp"
#include "session_fixture.hpp"

namespace quorvane::session_test {
namespace {

using ::testing::HasSubstr;
using Clock = std::chrono::steady_clock;

TEST_F(SessionTest, DisconnectFromAnotherThreadEndsAWaitingCommandPromptly) {
    const auto ap = ssh_connect(ap_params(kHangingAp));
    std::string error;
    std::atomic<double> took{-1};
    std::atomic<bool> started{false};
    std::thread worker([&] {
        started = true;
        const auto start = Clock::now();
        try {
            ap->send_command("show hang", 30);
        } catch (const std::runtime_error& e) {
            error = e.what();
        }
        took = std::chrono::duration<double>(Clock::now() - start).count();
    });
    while (!started) std::this_thread::yield();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const auto disconnect_at = Clock::now();
    ap->disconnect();
    const double disconnect_took =
        std::chrono::duration<double>(Clock::now() - disconnect_at).count();
    worker.join();

    EXPECT_THAT(error, AllOf(HasSubstr("disconnected"), HasSubstr(kHangingAp)));
    EXPECT_LT(took.load(), 1.2);
    EXPECT_LT(disconnect_took, 1.0);
    EXPECT_NO_THROW(ap->disconnect());
    EXPECT_NO_THROW(ap->close());
}

TEST_F(SessionTest, DisconnectRacingCommandsNeverCorruptsTheSession) {
    for (int round = 0; round < 5; ++round) {
        const auto ap = ssh_connect(ap_params());
        std::thread worker([&] {
            try {
                for (int i = 0; i < 50; ++i) ap->send_command("show clock", 5);
            } catch (const std::runtime_error& e) {
                EXPECT_THAT(std::string(e.what()), HasSubstr("disconnected"));
            }
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(round * 3));
        ap->disconnect();
        worker.join();
    }
}

TEST_F(SessionTest, SessionsToManyDevicesFromManyThreadsAtOnce) {
    constexpr int kThreads = 8;
    std::vector<std::thread> threads;
    std::atomic<int> good{0};
    const std::string known_hosts =
        (std::filesystem::temp_directory_path() / "confd" / "known_hosts").string();
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            const std::string address = "127.20.0." + std::to_string(t + 1);
            DeviceParams p = ap_params(address);
            p.known_hosts_path = known_hosts;
            try {
                const auto ap = ssh_connect(p);
                ap->enable();
                ap->send_command("terminal length 0");
                for (int i = 0; i < 10; ++i) {
                    if (ap->send_command("show version").find("AP Running Image") ==
                        std::string::npos) {
                        return;
                    }
                }
                ap->disconnect();
                ++good;
            } catch (const std::runtime_error& e) {
                ADD_FAILURE() << address << ": " << e.what();
            }
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(good.load(), kThreads);
}

}  // namespace
}  // namespace quorvane::session_test
