#include <gmock/gmock.h>

#include <chrono>

#include "sim_fixture.hpp"

namespace fleetsim_test {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

class FleetsimFaultTest : public FleetsimTest {
  protected:
    void add_devices(fleetsim::Fleet& fleet) override {
        auto add = [&](const char* address, const char* name, auto set) {
            fleetsim::Device d = fault_ap(address, name);
            set(d.faults);
            fleet.devices.push_back(d);
        };
        add("127.30.0.1", "AP-WRONG", [](fleetsim::Faults& f) { f.wrong_password = true; });
        add("127.30.0.2", "AP-SLOW", [](fleetsim::Faults& f) { f.delay_ms = 300; });
        add("127.30.0.3", "AP-HANG", [](fleetsim::Faults& f) { f.hang_on = "show version"; });
        add("127.30.0.4", "AP-DROP", [](fleetsim::Faults& f) { f.drop_on = "show inventory"; });
        add("127.30.0.5", "AP-HUGE", [](fleetsim::Faults& f) { f.huge_on = "show logging"; });
        add("127.30.0.6", "AP-GARBAGE", [](fleetsim::Faults& f) { f.garbage_on = "show clock"; });
        add("127.30.0.7", "AP-NOENABLE", [](fleetsim::Faults& f) { f.refuse_enable = true; });
        add("127.30.0.8", "AP-OLDTERM",
            [](fleetsim::Faults& f) { f.reject_terminal_length = true; });
        add("127.30.0.9", "AP-OTHERKEY", [](fleetsim::Faults& f) { f.alternate_host_key = true; });
        fleetsim::Device banner = fault_ap("127.30.0.10", "AP-BANNER");
        banner.banner = "*** Authorised access only #>\nLast login: never";
        fleet.devices.push_back(banner);
    }
};

TEST_F(FleetsimFaultTest, WrongPasswordDeviceRejectsTheConfiguredPassword) {
    EXPECT_THROW(SshTestClient("127.30.0.1", sim_->port(), "apadmin", "appass"), LoginError);
    EXPECT_EQ(sim_->state("127.30.0.1").logins, 0);
    EXPECT_GE(sim_->state("127.30.0.1").failed_logins, 1);
}

TEST_F(FleetsimFaultTest, SlowDeviceDelaysEveryAnswer) {
    auto c = ap("127.30.0.2", "AP-SLOW");
    auto t0 = std::chrono::steady_clock::now();
    std::string out = c->command("show clock", "AP-SLOW>");
    auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0)
            .count();
    EXPECT_GE(ms, 300);
    EXPECT_THAT(out, HasSubstr("UTC"));
}

TEST_F(FleetsimFaultTest, HangingDeviceNeverShowsThePromptAgain) {
    auto c = ap("127.30.0.3", "AP-HANG");
    EXPECT_THROW(c->command("show version", "AP-HANG>", 400), ReadTimeout);
    c->send("show clock\n");
    EXPECT_EQ(c->drain(300), "");
    EXPECT_EQ(sim_->transcript("127.30.0.3"),
              (std::vector<std::string>{"show version", "show clock"}));
}

TEST_F(FleetsimFaultTest, DroppingDeviceCutsTheConnection) {
    auto c = ap("127.30.0.4", "AP-DROP");
    c->command("show clock", "AP-DROP>");
    c->send("show inventory\n");
    EXPECT_TRUE(c->wait_closed(3000));
}

TEST_F(FleetsimFaultTest, HugeOutputIsOneMebibyteLine) {
    auto c = ap("127.30.0.5", "AP-HUGE");
    std::string out = c->command("show logging", "AP-HUGE>", 10000);
    EXPECT_NE(out.find(std::string(1 << 20, 'x')), std::string::npos);
    EXPECT_EQ(out.find(std::string(1 << 20, 'x') + "x"), std::string::npos);
    EXPECT_THAT(c->command("show clock", "AP-HUGE>"), HasSubstr("UTC"));
}

TEST_F(FleetsimFaultTest, GarbageBytesPrecedeTheAnswer) {
    auto c = ap("127.30.0.6", "AP-GARBAGE");
    std::string out = c->command("show clock", "AP-GARBAGE>");
    EXPECT_NE(out.find('\xff'), std::string::npos);
    EXPECT_NE(out.find(std::string(1, '\0')), std::string::npos);
    EXPECT_THAT(out, HasSubstr("UTC"));
}

TEST_F(FleetsimFaultTest, EnableRefusedEvenWithTheRightSecret) {
    auto c = ap("127.30.0.7", "AP-NOENABLE");
    c->command("enable", "Password: ");
    EXPECT_THAT(c->command("apenable", "AP-NOENABLE>"), HasSubstr("% Bad secrets"));
}

TEST_F(FleetsimFaultTest, TerminalLengthRejectedButShortFormWorks) {
    auto c = ap("127.30.0.8", "AP-OLDTERM");
    EXPECT_THAT(c->command("terminal length 0", "AP-OLDTERM>"), HasSubstr("% Invalid input"));
    EXPECT_THAT(c->command("term len 0", "AP-OLDTERM>"), Not(HasSubstr("Invalid")));
    EXPECT_THAT(c->command("show version", "AP-OLDTERM>"), Not(HasSubstr("--More--")));
}

TEST_F(FleetsimFaultTest, BannerComesBeforeTheFirstPrompt) {
    SshTestClient c("127.30.0.10", sim_->port(), "apadmin", "appass");
    std::string login = c.read_until("AP-BANNER>");
    EXPECT_EQ(login, "\r\n*** Authorised access only #>\r\nLast login: never\r\n\r\nAP-BANNER>");
}

TEST_F(FleetsimFaultTest, HostKeysPersistAndAlternateKeyDiffers) {
    std::string normal, other;
    {
        SshTestClient a(kAp, sim_->port(), "apadmin", "appass");
        SshTestClient b("127.30.0.9", sim_->port(), "apadmin", "appass");
        normal = a.host_key_fingerprint();
        other = b.host_key_fingerprint();
    }
    EXPECT_FALSE(normal.empty());
    EXPECT_NE(normal, other);

    sim_->set_alternate_host_key(kAp, true);
    EXPECT_EQ(SshTestClient(kAp, sim_->port(), "apadmin", "appass").host_key_fingerprint(), other);

    // A new simulator over the same state folder presents the same keys.
    auto dir = sim_->state_dir();
    sim_->stop();
    fleetsim::Options options;
    options.state_dir = dir;
    fleetsim::Simulator again(fleetsim::default_fleet(2), options);
    again.start();
    EXPECT_EQ(SshTestClient(kAp, again.port(), "apadmin", "appass").host_key_fingerprint(), normal);
}

}  // namespace
}  // namespace fleetsim_test
