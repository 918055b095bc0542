#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
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

TEST_F(SessionTest, DisconnectFromAnotherThreadEndsAWaitingCommandPromptly) {
    sim_->clear_transcript(kHangingAp);
    const auto ap = ssh_connect(ap_params(kHangingAp));
    std::string error;
    std::atomic<bool> started{false};
    std::thread worker([&] {
        started = true;
        try {
            ap->send_command("show hang", 30);
        } catch (const std::runtime_error& e) {
            error = e.what();
        }
    });
    while (!started) std::this_thread::yield();
    // Once the device has the command, the worker waits for a prompt that never comes.
    const auto received = [&] {
        const auto sent = sim_->transcript(kHangingAp);
        return std::find(sent.begin(), sent.end(), "show hang") != sent.end();
    };
    for (int i = 0; i < 3000 && !received(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ap->disconnect();
    worker.join();

    // Waiting out its 30 s would end the command with "Pattern not detected" instead.
    EXPECT_THAT(error, AllOf(HasSubstr("disconnected"), HasSubstr(kHangingAp)));
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
