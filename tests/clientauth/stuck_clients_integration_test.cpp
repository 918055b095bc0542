// The stuck-client workflow and deauthentication over real SSH against simulated
// controllers.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <future>
#include <thread>

#include "fleetsim/simulator.hpp"
#include "tests/clientauth/client_auth_fixture.hpp"

namespace quorvane::testing {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

constexpr const char* kFirst = "127.10.0.1";
constexpr const char* kSecond = "127.10.0.2";
const std::string kStuck = "0011.22aa.0001";
const std::string kTransient = "0011.22aa.0002";
const std::string kTooYoung = "0011.22aa.0003";
const std::string kOtherState = "0011.22aa.0004";
const std::string kRunning = "0011.22aa.0005";
const std::string kStuckUpper = "0011.22AA.0006";

fleetsim::Client client(const std::string& mac, const std::string& state, int connected_for,
                        int entry_create_time) {
    fleetsim::Client c;
    c.mac = mac;
    c.ap_name = "AP-1";
    c.state = state;
    c.connected_for = connected_for;
    c.entry_create_time = entry_create_time;
    return c;
}

fleetsim::Device controller(const std::string& address, const std::string& hostname,
                            std::vector<fleetsim::Client> clients) {
    fleetsim::Device d;
    d.kind = fleetsim::DeviceKind::controller;
    d.address = address;
    d.hostname = hostname;
    d.model = "C9800-40-K9";
    d.version = "17.9.4";
    d.transfer_ms = 200;
    d.clients = std::move(clients);
    return d;
}

class StuckClientsIntegrationTest : public ClientAuthTest {
  protected:
    void SetUp() override {
        ClientAuthTest::SetUp();
        fleetsim::Fleet fleet;
        auto transient = client(kTransient, "Authenticating", 20, 600);
        transient.run_after_seconds = 1;
        auto other_state = client(kOtherState, "Authenticating", 20, 600);
        other_state.policy_state = "Webauth Pending";
        fleet.devices.push_back(controller(kFirst, "WLC-A",
                                           {client(kStuck, "Authenticating", 20, 600), transient,
                                            client(kTooYoung, "Authenticating", 600, 600),
                                            other_state, client(kRunning, "Run", 20, 600)}));
        auto second = controller(kSecond, "WLC-B", {client(kStuckUpper, "Authenticating", 1, 900)});
        second.faults.archive_fails = true;
        fleet.devices.push_back(second);
        fleetsim::Options options;
        options.max_seconds = 240;
        options.state_dir = std::filesystem::temp_directory_path() / "fleetsim";
        sim = std::make_unique<fleetsim::Simulator>(fleet, options);
        sim->start();
        write_config(
            "[WLC]\nwlc_ip = 127.10.0.1\nwlc_user = admin\nwlc_pasw = admin\n"
            "[WLC2]\nwlc_ip = 127.10.0.2\nwlc_user = admin\nwlc_pasw = admin\n");
    }

    std::unique_ptr<Quorvane> real_engine(std::shared_ptr<Clock> engine_clock, int window) {
        EngineOptions options;
        options.ssh_port = sim->port();
        options.clock = std::move(engine_clock);
        options.auth_window_seconds = window;
        auto engine = std::make_unique<Quorvane>(
            options, [this](const std::string& line) { logs.push_back(line); },
            [this](int pct) { progress.push_back(pct); });
        logs.clear();
        return engine;
    }

    int count_sent(const std::string& address, const std::string& line) {
        const auto sent = sim->transcript(address);
        return static_cast<int>(std::count(sent.begin(), sent.end(), line));
    }

    std::unique_ptr<fleetsim::Simulator> sim;
};

TEST_F(StuckClientsIntegrationTest, WholeRunRecordsCollectsAndDeauthRemovesTheClients) {
    // The transient client finishes authenticating a second into the two-second window.
    auto engine = real_engine(nullptr, 2);

    const auto result = engine->run_client_auth_workflow();

    EXPECT_THAT(result, ElementsAre(kStuck, kStuckUpper));
    EXPECT_THAT(progress, ElementsAre(5, 20, 65, 75, 20, 65, 75, 100));
    EXPECT_THAT(logs, Contains("[AUTH] F1 MACs: ['0011.22aa.0001', '0011.22aa.0002', "
                               "'0011.22aa.0003', '0011.22aa.0004']"));
    EXPECT_THAT(logs, Contains("[AUTH] F2 MACs: ['0011.22aa.0001', '0011.22aa.0003', "
                               "'0011.22aa.0004']"));
    EXPECT_THAT(logs, Contains("[AUTH][SKIP] 0011.22aa.0004 not in Authenticating state"));
    EXPECT_THAT(logs, Contains("[AUTH] 0011.22aa.0001 \u2192 Connected: 20, Entry: 600"));
    EXPECT_THAT(logs, Contains("[AUTH][SKIP] 0011.22aa.0003 timing condition failed"));
    EXPECT_THAT(logs, Not(Contains(HasSubstr("show wireless client mac " + kTransient))));

    const auto files = deleted_client_files(*engine);
    ASSERT_EQ(files.size(), 1u);
    const std::string text = read_text(files[0]);
    EXPECT_THAT(text, ::testing::StartsWith("Auth Loop Deleted Clients \u2014 "));
    EXPECT_THAT(text, ::testing::EndsWith(std::string(50, '=') + "\n" + kStuck + "\n" +
                                          kStuckUpper + "\n"));
    EXPECT_THAT(read_text(engine->ini.path),
                HasSubstr("[CRONJOB]\ncollect_archive_wnccore_count = 1\n"));

    // The archive is named after the same stamp as the deleted-clients file.
    const std::string name = files[0].filename().string();
    const std::string ts = name.substr(name.find('_', 8) + 1, 15);
    EXPECT_EQ(sim->state(kFirst).archive_count, 1);
    EXPECT_EQ(sim->state(kSecond).archive_count, 0);
    for (const char* address : {kFirst, kSecond}) {
        SCOPED_TRACE(address);
        EXPECT_EQ(sim->state(address).core_count, 1);
        EXPECT_EQ(count_sent(address,
                             "request platform software trace archive last 1 hour target "
                             "bootflash:auth_issue_" +
                                 ts + ".tar.gz"),
                  1);
        // Both confirmed MACs are looked up on every controller before removal.
        EXPECT_EQ(count_sent(address, "show wireless client mac-address " + kStuck + " detail"), 1);
    }
    EXPECT_THAT(logs,
                Contains("[DEBUG][ARCHIVE] SUCCESS \u2014 bootflash:auth_issue_" + ts + ".tar.gz"));
    EXPECT_EQ(
        std::count(logs.begin(), logs.end(), "[DEBUG][CORE] SUCCESS \u2014 Core file generated."),
        2);

    engine->deauth_clients(result);
    EXPECT_THAT(sim->state(kFirst).deauthenticated, ElementsAre(kStuck));
    EXPECT_THAT(sim->state(kSecond).deauthenticated, ElementsAre(kStuckUpper));
    EXPECT_EQ(sim->state(kSecond).clients.size(), 0u);
    EXPECT_EQ(count_sent(kFirst, "wireless client mac-address " + kStuckUpper + " deauthenticate"),
              1);
    for (int i = 0; i < 3000 && sim->open_connections() > 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(sim->open_connections(), 0);
}

TEST_F(StuckClientsIntegrationTest, NoSessionIsHeldAcrossTheWindowAndAStopEndsIt) {
    auto engine = real_engine(nullptr, 900);
    std::promise<void> waiting;
    engine->log_cb = [&](const std::string& line) {
        logs.push_back(line);
        if (line == "[AUTH] Waiting 15 minutes...") waiting.set_value();
    };
    int open_during_window = -1;
    std::thread stopper([&] {
        waiting.get_future().wait();
        for (int i = 0; i < 3000 && sim->open_connections() > 0; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        open_during_window = sim->open_connections();
        engine->shutdown();
    });
    EXPECT_THAT(engine->run_client_auth_workflow(), IsEmpty());
    stopper.join();
    EXPECT_EQ(open_during_window, 0);
    EXPECT_THAT(deleted_client_files(*engine), IsEmpty());
    EXPECT_EQ(sim->state(kSecond).logins, 0);
}

}  // namespace
}  // namespace quorvane::testing
