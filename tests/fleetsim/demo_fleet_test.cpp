// The demo fleet's controllers: stuck, transient and harmless clients as a stuck-client
// workflow sees them, and the debug collection with and without its success marker.
#include <gmock/gmock.h>

#include <thread>

#include "fleetsim/simulator.hpp"
#include "ssh_test_client.hpp"

namespace fleetsim_test {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

constexpr const char* kHq = "127.10.0.1";
constexpr const char* kHqPrompt = "WLC-HQ-9800-01#";
constexpr const char* kStuckFilter = "show wireless client summary | include Authenticating";

class DemoControllerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fleetsim::Fleet fleet = fleetsim::demo_fleet();
        for (auto& c : fleet.devices[0].clients)
            if (c.run_after_seconds > 0) c.run_after_seconds = transient_seconds_;
        fleet.devices[0].transfer_ms = 40;
        fleet.devices[1].transfer_ms = 40;
        fleet.devices[1].faults.archive_fails = true;
        sim_ = std::make_unique<fleetsim::Simulator>(fleet);
        sim_->start();
    }
    std::unique_ptr<SshTestClient> login(const char* address = kHq,
                                         const char* prompt = kHqPrompt) {
        auto c = std::make_unique<SshTestClient>(address, sim_->port(), "admin", "admin");
        c->read_until(prompt);
        c->command("term len 0", prompt);
        return c;
    }
    std::unique_ptr<fleetsim::Simulator> sim_;
    int transient_seconds_ = 3;
};

class DemoTransientTest : public DemoControllerTest {
  protected:
    DemoTransientTest() { transient_seconds_ = 1; }
};

TEST_F(DemoControllerTest, ClientDetailsTellEachCaseApart) {
    struct Case {
        const char* mac;
        bool listed_authenticating;
        const char* policy_state;
        int connected;
        int entry;
    };
    const Case cases[] = {
        {"0011.22aa.0001", true, "Authenticating", 20, 600},
        {"0011.22aa.0002", true, "Authenticating", 45, 900},
        {"0011.22aa.0003", true, "Authenticating", 15, 400},
        {"0011.22aa.0004", true, "Webauth Pending", 30, 700},
        {"0011.22aa.0005", true, "Authenticating", 300, 300},
        {"0011.22aa.0006", false, "Run", 5400, 5400},
    };
    auto c = login();
    std::string stuck = c->command(kStuckFilter, kHqPrompt);
    for (const Case& k : cases) {
        SCOPED_TRACE(k.mac);
        EXPECT_EQ(stuck.find(k.mac) != std::string::npos, k.listed_authenticating);
        for (const char* form : {"mac", "mac-address"}) {
            std::string detail = c->command(
                std::string("show wireless client ") + form + " " + k.mac + " detail", kHqPrompt);
            EXPECT_THAT(detail, HasSubstr("Client MAC Address : " + std::string(k.mac) + "\r\n"));
            EXPECT_THAT(
                detail,
                HasSubstr("\r\nPolicy Manager State: " + std::string(k.policy_state) + "\r\n"));
            EXPECT_THAT(detail, HasSubstr("\r\nConnected For : " + std::to_string(k.connected) +
                                          " seconds"));
            EXPECT_THAT(detail, HasSubstr("\r\nClient Entry Create Time : " +
                                          std::to_string(k.entry) + " seconds"));
        }
    }
}

TEST_F(DemoTransientTest, TransientClientLeavesAuthenticatingAfterItsTime) {
    auto c = login();
    EXPECT_THAT(c->command(kStuckFilter, kHqPrompt), HasSubstr("0011.22aa.0003"));
    // Its time runs from the first listing, whichever session made it.
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    auto again = login();
    std::string later = again->command(kStuckFilter, kHqPrompt);
    EXPECT_THAT(later, Not(HasSubstr("0011.22aa.0003")));
    EXPECT_THAT(later, HasSubstr("0011.22aa.0001"));
    EXPECT_THAT(again->command("show wireless client mac 0011.22aa.0003 detail", kHqPrompt),
                HasSubstr("Policy Manager State: Run\r\n"));
    // The other controller's transient client has not been listed yet, so it still waits.
    auto br = login("127.10.0.2", "WLC-BR-9800-02#");
    EXPECT_THAT(br->command(kStuckFilter, "WLC-BR-9800-02#"), HasSubstr("0022.33bb.0002"));
}

TEST_F(DemoControllerTest, DeauthenticationRemovesTheClient) {
    auto c = login();
    c->command("wireless client mac-address 0011.22aa.0001 deauthenticate", kHqPrompt);
    c->command("wireless client mac-address 0011.22aa.0002 deauthenticate", kHqPrompt);
    EXPECT_THAT(c->command(kStuckFilter, kHqPrompt), Not(HasSubstr("0011.22aa.0001")));
    EXPECT_THAT(c->command("show wireless client mac 0011.22aa.0001 detail", kHqPrompt),
                HasSubstr("not found"));
    EXPECT_EQ(sim_->state(kHq).deauthenticated,
              (std::vector<std::string>{"0011.22aa.0001", "0011.22aa.0002"}));
}

TEST_F(DemoControllerTest, TraceArchiveMarkerCanBeWithheld) {
    const std::string archive =
        "request platform software trace archive last 1 hour target "
        "bootflash:auth_issue_20260307_141502.tar.gz";
    const std::string core = "request platform software process core wncd 0 chassis active r0";
    struct Case {
        const char* address;
        const char* prompt;
        bool archive_ok;
    };
    for (const Case& k :
         {Case{kHq, kHqPrompt, true}, Case{"127.10.0.2", "WLC-BR-9800-02#", false}}) {
        SCOPED_TRACE(k.address);
        auto c = login(k.address, k.prompt);
        std::string out = c->command(archive, k.prompt);
        EXPECT_EQ(out.find("Done with creation of the archive file") != std::string::npos,
                  k.archive_ok);
        // The core request works either way.
        EXPECT_THAT(c->command(core, k.prompt), HasSubstr("SUCCESS: Core file generated."));
        EXPECT_EQ(sim_->state(k.address).archive_count, k.archive_ok ? 1 : 0);
        EXPECT_EQ(sim_->state(k.address).core_count, 1);
    }
}

}  // namespace
}  // namespace fleetsim_test

namespace fleetsim_test {
namespace {

class DemoApTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fleetsim::Fleet fleet = fleetsim::demo_fleet();
        for (auto& d : fleet.devices) d.transfer_ms = 50;
        sim_ = std::make_unique<fleetsim::Simulator>(fleet);
        sim_->start();
    }
    std::unique_ptr<SshTestClient> ap(const std::string& address, const std::string& name) {
        auto c = std::make_unique<SshTestClient>(address, sim_->port(), "apadmin", "appass");
        c->read_until(name + ">");
        return c;
    }
    std::unique_ptr<fleetsim::Simulator> sim_;
};

TEST_F(DemoApTest, FaultApsMisbehaveOnTheCommandsEveryPollSends) {
    enum class Fault { refuses_enable, drops, huge_line, garbage };
    struct Case {
        const char* address;
        const char* name;
        Fault fault;
        const char* command;  // where it misbehaves
    };
    const Case cases[] = {
        {"127.20.0.12", "AP-LAB-NOENABLE", Fault::refuses_enable, "enable"},
        {"127.20.0.13", "AP-LAB-DROP", Fault::drops, "show version"},
        {"127.20.0.14", "AP-LAB-HUGE", Fault::huge_line, "show inventory"},
        {"127.20.0.15", "AP-LAB-GARBAGE", Fault::garbage, "show version"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        const std::string prompt = std::string(k.name) + "#";
        auto c = ap(k.address, k.name);
        c->command("enable", "Password: ");
        if (k.fault == Fault::refuses_enable) {
            EXPECT_THAT(c->command("apenable", std::string(k.name) + ">"),
                        HasSubstr("% Bad secrets"));
            continue;
        }
        c->command("apenable", prompt);
        c->command("terminal length 0", prompt);
        // A poll identifies the AP with these two, in this order.
        for (const std::string cmd : {"show inventory", "show version"}) {
            if (cmd != k.command) {
                std::string out = c->command(cmd, prompt);
                EXPECT_EQ(out.find('\xff'), std::string::npos);
                EXPECT_EQ(out.find(std::string(64, 'x')), std::string::npos);
            } else if (k.fault == Fault::drops) {
                c->send(cmd + "\n");
                EXPECT_TRUE(c->wait_closed(3000));
            } else if (k.fault == Fault::huge_line) {
                EXPECT_THAT(c->command(cmd, prompt, 10000), HasSubstr(std::string(1 << 20, 'x')));
            } else {
                std::string out = c->command(cmd, prompt);
                EXPECT_NE(out.find('\xff'), std::string::npos);
                EXPECT_THAT(out, HasSubstr("AP Running Image     : 17.12.4.213"));
            }
        }
    }
    EXPECT_THROW(SshTestClient("127.20.0.11", sim_->port(), "apadmin", "appass"),
                 std::runtime_error);
}

TEST_F(DemoApTest, SftpImageTransferOfTheSimulatedConfigurationSucceeds) {
    auto c = ap("127.20.0.3", "AP-HQ-FLOOR3-SWAP");
    c->command("enable", "Password: ");
    c->command("apenable", "AP-HQ-FLOOR3-SWAP#");
    c->command("ip sftp username ftpuser", "AP-HQ-FLOOR3-SWAP#");
    c->command("ip sftp password ftppass", "AP-HQ-FLOOR3-SWAP#");
    c->command("copy sftp://127.0.0.1/images/ap-image.tar flash:ap-image.tar", "Username: ");
    c->command("ftpuser", "Password: ");
    EXPECT_THAT(c->command("ftppass", "AP-HQ-FLOOR3-SWAP#"), HasSubstr("bytes copied in"));
    EXPECT_EQ(sim_->state("127.20.0.3").transfer_count, 1);
}

}  // namespace
}  // namespace fleetsim_test
