// WLC command runs over real SSH against the simulated fleet.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>

#include "fleetsim/simulator.hpp"
#include "quorvane/engine/ssh/ssh_connect.hpp"
#include "tests/engine/engine_fixture.hpp"

namespace quorvane::testing {
namespace {

using ::testing::AllOf;
using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

constexpr const char* kGood = "127.10.0.1";
constexpr const char* kRejecting = "127.10.0.3";
constexpr const char* kHanging = "127.10.0.4";
constexpr const char* kDropping = "127.10.0.5";
constexpr const char* kNobody = "127.10.0.99";

fleetsim::Device controller(const std::string& address, const std::string& hostname) {
    fleetsim::Device d;
    d.kind = fleetsim::DeviceKind::controller;
    d.address = address;
    d.hostname = hostname;
    d.model = "C9800-40-K9";
    d.serial = "SIM" + hostname;
    d.version = "17.9.4";
    return d;
}

// Real waits, shortened, so the confirmation flow still sees the device answer.
class QuickClock : public Clock {
  public:
    std::chrono::system_clock::time_point now() override {
        return std::chrono::system_clock::now();
    }
    void sleep_for(std::chrono::milliseconds d) override { std::this_thread::sleep_for(d / 5); }
};

class WlcIntegrationTest : public EngineTest {
  protected:
    void SetUp() override {
        EngineTest::SetUp();
        fleetsim::Fleet fleet = fleetsim::default_fleet(40);
        auto rejecting = controller(kRejecting, "WLC-REJECT");
        rejecting.faults.wrong_password = true;
        auto hanging = controller(kHanging, "WLC-HANG");
        hanging.faults.hang_on = "show tech";
        auto dropping = controller(kDropping, "WLC-DROP");
        dropping.faults.drop_on = "show clock";
        for (auto* d : {&rejecting, &hanging, &dropping}) fleet.devices.push_back(*d);
        fleetsim::Options options;
        options.max_seconds = 240;
        options.state_dir = std::filesystem::temp_directory_path() / "fleetsim";
        sim = std::make_unique<fleetsim::Simulator>(fleet, options);
        sim->start();
    }

    void configure(const std::vector<std::string>& addresses) {
        std::string text;
        for (std::size_t i = 0; i < addresses.size(); ++i) {
            text += "[WLC" + (i ? std::to_string(i + 1) : std::string()) +
                    "]\nwlc_ip = " + addresses[i] + "\nwlc_user = admin\nwlc_pasw = admin\n";
        }
        write_config(text);
    }

    std::unique_ptr<Quorvane> real_engine(std::shared_ptr<Clock> engine_clock,
                                          double read_timeout = 120) {
        EngineOptions options;
        options.ssh_port = sim->port();
        options.clock = std::move(engine_clock);
        options.wlc_read_timeout = read_timeout;
        options.connect = [this](const DeviceParams& params) {
            ++attempts;
            return ssh_connect(params);
        };
        auto engine = std::make_unique<Quorvane>(
            options, [this](const std::string& line) { logs.push_back(line); },
            [this](int pct) { progress.push_back(pct); });
        logs.clear();
        return engine;
    }

    std::string output_file(const Quorvane& engine, std::string address) {
        std::replace(address.begin(), address.end(), '.', '_');
        return read_text(std::filesystem::path(engine.data_dir) / ("WLC_" + address) /
                         "wlc_outputs.txt");
    }

    std::vector<std::string> transcript(const std::string& address) {
        return sim->transcript(address);
    }

    std::unique_ptr<fleetsim::Simulator> sim;
    std::atomic<int> attempts{0};
};

TEST_F(WlcIntegrationTest, UnreachableAndRejectingControllersFailTheGoodOneCompletes) {
    configure({kGood, kNobody, kRejecting});
    // Far above what loopback needs; a stalled answer fails here instead of after 120 s.
    auto engine = real_engine(clock, 20);
    const std::string path = engine->run_wlc_cmds({"show version", "show ap summary"});

    EXPECT_THAT(path, HasSubstr("WLC_127_10_0_1"));
    const std::string port = std::to_string(sim->port());
    EXPECT_THAT(
        logs, Contains("[WLC] [WLC2] failed: WLC 127.10.0.99 (WLC2) unreachable on port " + port));
    EXPECT_THAT(logs, Contains("[WLC] [WLC3] failed: WLC 127.10.0.3 connection failed after "
                               "retries"));
    EXPECT_EQ(attempts.load(), 1 + 3);
    EXPECT_EQ(sim->state(kRejecting).logins, 0);
    EXPECT_THAT(clock->sleep_seconds(), ::testing::ElementsAre(3, 3, 3));

    // Paging is off before the first command, so the long AP table arrives whole.
    const auto sent = transcript(kGood);
    const auto paging = std::find(sent.begin(), sent.end(), "term len 0");
    ASSERT_NE(paging, sent.end());
    EXPECT_LT(paging - sent.begin(),
              std::find(sent.begin(), sent.end(), "show version") - sent.begin());
    const std::string text = output_file(*engine, kGood);
    EXPECT_THAT(text, HasSubstr("\n<cmd string='show ap summary'>\n\tshow ap summary\n"));
    EXPECT_THAT(text, HasSubstr("Number of APs: "));
    EXPECT_THAT(text, Not(HasSubstr("--More--")));
    EXPECT_THAT(text, HasSubstr("Cisco IOS XE Software"));
    // The simulator notices closed connections on its own threads.
    for (int i = 0; i < 3000 && sim->open_connections() > 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(sim->open_connections(), 0);
}

TEST_F(WlcIntegrationTest, ConfirmedCommandIsAnsweredWithYes) {
    configure({kGood});
    auto engine = real_engine(std::make_shared<QuickClock>());
    engine->run_wlc_cmds({"%clear counters%", "show clock"});
    const auto sent = transcript(kGood);
    const auto typed = std::find(sent.begin(), sent.end(), "clear counters");
    ASSERT_NE(typed, sent.end());
    ASSERT_NE(typed + 1, sent.end());
    EXPECT_EQ(*(typed + 1), "y");
    const std::string text = output_file(*engine, kGood);
    EXPECT_THAT(text, HasSubstr("[confirm]"));
    EXPECT_THAT(text, HasSubstr("\n<cmd string='show clock'>\n\tshow clock\n"));
    EXPECT_THAT(logs, Contains(HasSubstr("[WLC] Done [WLC]. Output: ")));
}

TEST_F(WlcIntegrationTest, CommandWithoutPromptFailsItsControllerAfterTheReadTimeout) {
    configure({kHanging, kGood});
    auto engine = real_engine(clock, 2);
    const std::string path = engine->run_wlc_cmds({"show clock", "show tech", "show version"});

    EXPECT_THAT(path, HasSubstr("WLC_127_10_0_1"));
    EXPECT_THAT(logs, Contains(::testing::AllOf(HasSubstr("[WLC] [WLC] failed: "),
                                                HasSubstr("Pattern not detected"))));
    const auto sent = transcript(kHanging);
    EXPECT_THAT(sent, Not(Contains("show version")));
    EXPECT_THAT(output_file(*engine, kHanging),
                ::testing::EndsWith("\n<cmd string='show tech'>\n\tshow tech\n"));
}

TEST_F(WlcIntegrationTest, DroppedConnectionMidCommandFailsOnlyThatController) {
    configure({kDropping, kGood});
    auto engine = real_engine(clock);
    const std::string path =
        engine->run_wlc_cmds({"show version", "show clock", "show ap summary"});
    EXPECT_THAT(path, HasSubstr("WLC_127_10_0_1"));
    EXPECT_THAT(logs, Contains(HasSubstr("[WLC] [WLC] failed: ")));
    EXPECT_THAT(transcript(kDropping), Not(Contains("show ap summary")));
    EXPECT_THAT(output_file(*engine, kDropping), HasSubstr("Cisco IOS XE Software"));
}

TEST_F(WlcIntegrationTest, HostKeyIsRememberedAndAChangedKeyIsRefused) {
    configure({kGood});
    const std::string known_hosts = CONFD + "/known_hosts";
    {
        auto engine = real_engine(clock);
        EXPECT_FALSE(engine->run_wlc_cmds({"show clock"}).empty());
    }
    const std::string remembered = read_text(known_hosts);
    EXPECT_THAT(remembered, HasSubstr("[127.10.0.1]:" + std::to_string(sim->port())));
    {
        auto engine = real_engine(clock);
        EXPECT_FALSE(engine->run_wlc_cmds({"show clock"}).empty());
    }
    sim->set_alternate_host_key(kGood, true);
    auto engine = real_engine(clock);
    attempts = 0;
    EXPECT_EQ(engine->run_wlc_cmds({"show clock"}), "");
    // A changed key is not retried: the operator sees why the controller was refused.
    EXPECT_EQ(attempts.load(), 1);
    EXPECT_THAT(logs,
                Contains(AllOf(StartsWith("[WLC] Connection failed to 127.10.0.1: Host key of "
                                          "127.10.0.1:"),
                               HasSubstr("has changed"))));
    EXPECT_THAT(logs, Contains(StartsWith("[WLC] [WLC] failed: Host key of 127.10.0.1:")));
    EXPECT_EQ(read_text(known_hosts), remembered);
}

}  // namespace
}  // namespace quorvane::testing
