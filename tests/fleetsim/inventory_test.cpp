// What the inventory fetch depends on: APs listed by more than one controller, unreachable
// APs, many controllers, and the count of sessions open at once.
#include <gmock/gmock.h>

#include <atomic>
#include <sstream>
#include <thread>

#include "sim_fixture.hpp"

namespace fleetsim_test {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

using fleetsim::DeviceKind;

std::string row_of(const std::string& table, const std::string& name) {
    size_t at = table.find("\r\n" + name + " ");
    if (at == std::string::npos) return "";
    return table.substr(at + 2, table.find("\r\n", at + 2) - at - 2);
}

std::vector<std::string> tokens(const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> out;
    for (std::string t; in >> t;) out.push_back(t);
    return out;
}

void wait_for_no_sessions(const fleetsim::Simulator& sim) {
    for (int i = 0; i < 3000; ++i) {
        if (sim.open_sessions(DeviceKind::controller) == 0 &&
            sim.open_sessions(DeviceKind::access_point) == 0)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

TEST_F(FleetsimTest, ApOfTwoControllersIsListedByBoth) {
    constexpr const char* kShared = "AP-BR-003";  // 127.20.0.3
    for (const auto& [address, prompt, count] :
         {std::tuple{"127.10.0.1", "WLC-HQ-9800-01#", "Number of APs: 60\r\n"},
          std::tuple{"127.10.0.2", "WLC-HQ-9800-02#", "Number of APs: 61\r\n"}}) {
        SshTestClient c(address, sim_->port(), "admin", "admin");
        c.read_until(prompt);
        c.command("term len 0", prompt);
        std::string summary = c.command("show ap summary", prompt);
        EXPECT_THAT(summary, HasSubstr(count)) << address;
        EXPECT_THAT(row_of(summary, kShared), HasSubstr(" 127.20.0.3 ")) << address;
        EXPECT_THAT(row_of(c.command("show ap tag summary", prompt), kShared),
                    HasSubstr("ST-HQ-CAMPUS"))
            << address;
    }
}

TEST_F(FleetsimTest, SummaryRowsCarryEveryColumn) {
    auto c = wlc();
    c->command("term len 0", kWlcPrompt);
    std::string summary = c->command("show ap summary", kWlcPrompt);
    EXPECT_THAT(summary, HasSubstr("Number of APs: 60\r\n\r\nAP Name "));
    EXPECT_THAT(summary, HasSubstr("\r\n" + std::string(184, '-') + "\r\n"));
    // Name, slots, model, Ethernet MAC, radio MAC, location with blanks, country, IP, state.
    EXPECT_EQ(tokens(row_of(summary, "AP-HQ-001")),
              tokens("AP-HQ-001 2 C9130AXI-B 687d.b400.0000 687d.b400.000f Building 1 Floor 2 US "
                     "127.20.0.1 Registered"));
    std::string tags = c->command("show ap tag summary", kWlcPrompt);
    EXPECT_EQ(tokens(row_of(tags, "AP-HQ-001")),
              tokens("AP-HQ-001 687d.b400.0000 ST-HQ-CAMPUS default-policy-tag RT-HIGH-DENSITY "
                     "No Static"));
}

class FleetsimManyControllersTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fleetsim::Fleet fleet = fleetsim::default_fleet(14, 7);
        fleetsim::Device offline = fleet.devices.back();
        offline.address = "127.20.9.9";
        offline.hostname = "AP-OFFLINE";
        offline.faults.unreachable = true;
        fleet.devices.push_back(offline);
        sim_ = std::make_unique<fleetsim::Simulator>(fleet);
        sim_->start();
    }
    std::unique_ptr<fleetsim::Simulator> sim_;
};

TEST_F(FleetsimManyControllersTest, ControllersShareTheApsInTurn) {
    ASSERT_EQ(sim_->fleet().devices[6].address, "127.10.0.7");
    SshTestClient c("127.10.0.7", sim_->port(), "admin", "admin");
    c.read_until("WLC-HQ-9800-07#");
    std::string summary = c.command("show ap summary", "WLC-HQ-9800-07#");
    // Its two APs and the unreachable copy of the last one.
    EXPECT_THAT(summary, HasSubstr("Number of APs: 3\r\n"));
    EXPECT_THAT(row_of(summary, "AP-OFFLINE"), HasSubstr(" 127.20.9.9 "));
}

TEST_F(FleetsimManyControllersTest, UnreachableApIsListedButRefusesConnections) {
    EXPECT_THROW(SshTestClient("127.20.9.9", sim_->port(), "apadmin", "appass"),
                 std::runtime_error);
    EXPECT_EQ(sim_->state("127.20.9.9").logins, 0);
}

TEST_F(FleetsimManyControllersTest, PeakSessionsCountsLoggedInSessionsPerKind) {
    EXPECT_EQ(sim_->peak_sessions(DeviceKind::controller), 0);
    std::vector<std::thread> threads;
    for (int n = 1; n <= 3; ++n) {
        threads.emplace_back([this, n] {
            std::string address = "127.10.0." + std::to_string(n);
            std::string prompt = "WLC-HQ-9800-0" + std::to_string(n) + "#";
            SshTestClient c(address, sim_->port(), "admin", "admin");
            c.read_until(prompt);
            // Hold the session until all three are open.
            for (int i = 0; i < 3000 && sim_->open_sessions(DeviceKind::controller) < 3; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
        });
    }
    for (auto& t : threads) t.join();
    {
        SshTestClient ap("127.20.0.1", sim_->port(), "apadmin", "appass");
        ap.read_until("AP-HQ-001>");
        EXPECT_EQ(sim_->open_sessions(DeviceKind::access_point), 1);
    }
    EXPECT_EQ(sim_->peak_sessions(DeviceKind::controller), 3);
    EXPECT_EQ(sim_->peak_sessions(DeviceKind::access_point), 1);
    wait_for_no_sessions(*sim_);
    EXPECT_EQ(sim_->open_sessions(DeviceKind::controller), 0);
    EXPECT_EQ(sim_->open_sessions(DeviceKind::access_point), 0);

    sim_->reset_peak_sessions();
    EXPECT_EQ(sim_->peak_sessions(DeviceKind::controller), 0);
    // A failed login is not a session.
    EXPECT_THROW(SshTestClient("127.10.0.1", sim_->port(), "admin", "wrong"), LoginError);
    EXPECT_EQ(sim_->peak_sessions(DeviceKind::controller), 0);
}

TEST_F(FleetsimManyControllersTest, PeakStaysWithinTheClientsLimitWhileSessionsChurn) {
    // Five workers read seven controllers, several rounds, each session closed before the
    // worker opens the next: the mark must never count a closed session as still open.
    constexpr int kWorkers = 5;
    std::atomic<int> next{0};
    std::vector<std::thread> workers;
    for (int w = 0; w < kWorkers; ++w) {
        workers.emplace_back([&] {
            for (int n; (n = next++) < 28;) {
                int k = n % 7 + 1;
                std::string prompt = "WLC-HQ-9800-0" + std::to_string(k) + "#";
                try {
                    SshTestClient c("127.10.0." + std::to_string(k), sim_->port(), "admin",
                                    "admin");
                    c.read_until(prompt);
                    c.command("show ap summary", prompt);
                } catch (const std::exception& e) {
                    ADD_FAILURE() << e.what();
                }
            }
        });
    }
    for (auto& t : workers) t.join();
    EXPECT_LE(sim_->peak_sessions(DeviceKind::controller), kWorkers);
    EXPECT_GE(sim_->peak_sessions(DeviceKind::controller), 1);
}

}  // namespace
}  // namespace fleetsim_test
