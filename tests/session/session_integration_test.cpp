#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <sstream>
#include <thread>
#include <vector>

#include "quorvane/engine/ssh/ssh_connect.hpp"
#include "quorvane/engine/ssh/ssh_transport.hpp"
#include "session_fixture.hpp"

namespace quorvane::session_test {
namespace {

using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;
using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

std::string error_of(const std::function<void()>& action) {
    try {
        action();
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return "no error";
}

// Open descriptors of this process once the simulator has closed its ends of every
// connection (its sockets live in this process too).
int settled_descriptor_count(const fleetsim::Simulator& sim) {
    for (int i = 0; i < 3000 && sim.open_connections() > 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    const auto entries = std::filesystem::directory_iterator("/proc/self/fd");
    return static_cast<int>(std::distance(begin(entries), end(entries)));
}

std::string read_text(const std::filesystem::path& file) {
    std::ifstream in(file);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST_F(SessionTest, ControllerLogsInPrivilegedAndPrintsLongOutputWithPagingOff) {
    const auto wlc = ssh_connect(wlc_params());
    EXPECT_EQ(wlc->base_prompt(), kWlcName);
    EXPECT_NO_THROW(wlc->enable());  // already privileged: nothing to do
    EXPECT_EQ(wlc->send_command("term len 0"), "");
    const std::string summary = wlc->send_command("show ap summary");
    EXPECT_THAT(summary, Not(HasSubstr("--More--")));
    EXPECT_THAT(summary, Not(HasSubstr("show ap summary")));
    EXPECT_THAT(summary, Not(EndsWith("#")));
    EXPECT_THAT(summary, HasSubstr("AP-HQ-001"));
    EXPECT_THAT(summary, HasSubstr("\r\n"));  // device line breaks are kept
    wlc->disconnect();
}

TEST_F(SessionTest, ApLogsInUnprivilegedAndEntersEnableWithTheSecret) {
    sim_->clear_transcript(kAp);
    const auto ap = ssh_connect(ap_params());
    EXPECT_EQ(ap->base_prompt(), kApName);
    EXPECT_THAT(sim_->transcript(kAp), Not(::testing::Contains(HasSubstr("length"))))
        << "paging is the engine's business";
    ap->enable();
    EXPECT_EQ(ap->send_command("terminal length 0", 30), "");
    EXPECT_THAT(ap->send_command("show version"), HasSubstr("AP Running Image"));
    EXPECT_EQ(ap->base_prompt(), kApName);
    EXPECT_THAT(sim_->transcript(kAp), ::testing::Contains("apenable"));
}

TEST_F(SessionTest, EnableFailsClearlyWithAWrongOrRefusedSecret) {
    DeviceParams wrong = ap_params();
    wrong.secret = "not-it";
    const auto ap = ssh_connect(wrong);
    EXPECT_THAT(error_of([&] { ap->enable(); }),
                AllOf(HasSubstr("privileged mode"), HasSubstr(kAp), HasSubstr("refused")));

    const auto refusing = ssh_connect(ap_params(kRefusingAp));
    EXPECT_THAT(error_of([&] { refusing->enable(); }), HasSubstr("refused"));
}

TEST_F(SessionTest, TimingCommandReturnsAtAConfirmationPromptAndReloadDropsTheSession) {
    const auto ap = ssh_connect(ap_params(kDroppingAp));
    ap->enable();
    const std::string reply = ap->send_command_timing("reload");
    EXPECT_THAT(reply, HasSubstr("[confirm]"));
    EXPECT_THAT(reply, Not(StartsWith("reload")));
    EXPECT_THAT(error_of([&] { ap->send_command_timing("\n"); }),
                HasSubstr(std::string("Connection closed by ") + kDroppingAp));
    EXPECT_THAT(error_of([&] { ap->send_command("show clock"); }), HasSubstr(kDroppingAp));
    ap->disconnect();
    ap->disconnect();
    ap->close();
}

// How soon it returns at the prompt is measured by bench/session (BM_TimingCommandAtPrompt).
TEST_F(SessionTest, TimingCommandReturnsTheOutput) {
    const auto ap = ssh_connect(ap_params());
    EXPECT_THAT(ap->send_command_timing("show clock"), HasSubstr("UTC"));
}

TEST_F(SessionTest, PromptThatNeverReturnsFailsWithPatternNotDetectedAfterReadTimeout) {
    const auto ap = ssh_connect(ap_params(kHangingAp));
    const auto start = Clock::now();
    EXPECT_THAT(
        error_of([&] { ap->send_command("show hang", 0.3); }),
        AllOf(HasSubstr("Pattern not detected"), HasSubstr(kHangingAp), HasSubstr("AP-HANG")));
    EXPECT_GE(seconds_since(start), 0.3);
}

TEST_F(SessionTest, ConnectionDroppedMidCommandRaisesInsteadOfHanging) {
    const auto ap = ssh_connect(ap_params(kDroppingAp));
    EXPECT_THAT(error_of([&] { ap->send_command("show drop now"); }),
                HasSubstr(std::string("Connection closed by ") + kDroppingAp));
}

TEST_F(SessionTest, OneMegabyteLineWithoutBreakArrivesWhole) {
    const auto ap = ssh_connect(ap_params(kHugeAp));
    const std::string out = ap->send_command("show huge");
    EXPECT_EQ(out, std::string(1 << 20, 'x'));
}

TEST_F(SessionTest, NothingListeningFailsFastNamingTheAddress) {
    DeviceParams p = ap_params("127.0.0.1");
    p.port = 9;  // discard: nothing listens there in the test environment
    const auto start = Clock::now();
    EXPECT_THAT(error_of([&] { ssh_connect(p); }),
                AllOf(HasSubstr("TCP connection to 127.0.0.1:9"), HasSubstr("refused")));
    EXPECT_LT(seconds_since(start), p.conn_timeout);
}

TEST_F(SessionTest, WrongPasswordFailsAfterPasswordAndKeyboardInteractive) {
    const int before = sim_->state(kLockedAp).failed_logins;
    EXPECT_THAT(error_of([&] { ssh_connect(ap_params(kLockedAp)); }),
                AllOf(HasSubstr("Authentication failed"), HasSubstr(kLockedAp)));
    EXPECT_EQ(sim_->state(kLockedAp).failed_logins - before, 2);
}

TEST_F(SessionTest, KnownHostsRecordsFirstKeyAcceptsItThenRefusesAChangedOne) {
    const auto file = std::filesystem::temp_directory_path() / "confd" / "known_hosts";
    std::filesystem::remove(file);
    DeviceParams p = ap_params("127.20.0.2");
    p.known_hosts_path = file.string();
    ssh_connect(p)->disconnect();
    const std::string recorded = read_text(file);
    EXPECT_THAT(recorded,
                StartsWith("[127.20.0.2]:" + std::to_string(sim_->port()) + " ssh-ed25519 "));
    ssh_connect(p)->disconnect();
    EXPECT_EQ(read_text(file), recorded);

    sim_->set_alternate_host_key("127.20.0.2", true);
    const std::string error = error_of([&] { ssh_connect(p); });
    sim_->set_alternate_host_key("127.20.0.2", false);
    EXPECT_THAT(error, AllOf(HasSubstr("127.20.0.2:" + std::to_string(sim_->port())),
                             HasSubstr("changed"), HasSubstr(file.string())));
    EXPECT_EQ(read_text(file), recorded);
}

// The older algorithms come after every modern one: a modern device still settles on a
// modern one, and a device with only older ones is reached through them.
TEST_F(SessionTest, ModernDevicesNegotiateModernAlgorithmsAndOlderOnesTheOlder) {
    struct Case {
        const char* address;
        const char *kex, *host_key, *cipher, *mac;
    };
    const Case cases[] = {
        {kAp, "curve25519-sha256", "ssh-ed25519", "chacha20-poly1305@openssh.com", "aead-poly1305"},
        {kOlderAp, "diffie-hellman-group14-sha1", "ssh-rsa", "aes128-cbc", "hmac-sha1"},
    };
    for (const Case& c : cases) {
        SshInterrupter interrupter;
        const SshTransport transport(ap_params(c.address), interrupter);
        const ssh_session session = transport.session();
        ssh_key key = nullptr;
        ASSERT_EQ(ssh_get_server_publickey(session, &key), SSH_OK);
        EXPECT_STREQ(ssh_key_type_to_char(ssh_key_type(key)), c.host_key) << c.address;
        ssh_key_free(key);
        EXPECT_STREQ(ssh_get_kex_algo(session), c.kex) << c.address;
        EXPECT_STREQ(ssh_get_cipher_out(session), c.cipher) << c.address;
        EXPECT_STREQ(ssh_get_hmac_out(session), c.mac) << c.address;
    }
}

TEST_F(SessionTest, ReadChannelNeverWaitsAndWriteChannelSendsAsIs) {
    const auto ap = ssh_connect(ap_params());
    EXPECT_EQ(ap->read_channel(), "");
    ap->write_channel("show clock\n");
    std::string got;
    const auto start = Clock::now();
    while (got.find(std::string(kApName) + ">") == std::string::npos && seconds_since(start) < 5) {
        got += ap->read_channel();
    }
    EXPECT_THAT(got, HasSubstr("UTC"));
}

TEST_F(SessionTest, EndedSessionRefusesOperationsAndEndsHarmlesslyAgain) {
    const auto ap = ssh_connect(ap_params());
    ap->disconnect();
    EXPECT_THAT(error_of([&] { ap->send_command("show clock"); }), HasSubstr("disconnected"));
    EXPECT_THAT(error_of([&] { ap->read_channel(); }), HasSubstr("disconnected"));
    EXPECT_NO_THROW(ap->disconnect());
    EXPECT_NO_THROW(ap->close());
}

TEST_F(SessionTest, ReadTimeOutThatIsNotANumberIsRefusedAndHugeOnesWaitForThePrompt) {
    constexpr double kInf = std::numeric_limits<double>::infinity();
    struct Case {
        double read_timeout;
        bool timing;
        std::string expected;  // in the output, or in the error text
    };
    const std::vector<Case> cases = {
        {std::nan(""), false, "Invalid time-out: not a number of seconds"},
        {std::nan(""), true, "Invalid time-out: not a number of seconds"},
        {kInf, false, "UTC"},
        {1e300, false, "UTC"},
        {1e300, true, "UTC"},
    };
    const auto ap = ssh_connect(ap_params());
    for (const Case& c : cases) {
        std::string got;
        try {
            got = c.timing ? ap->send_command_timing("show clock", c.read_timeout)
                           : ap->send_command("show clock", c.read_timeout);
        } catch (const std::runtime_error& e) {
            got = e.what();
        }
        EXPECT_THAT(got, HasSubstr(c.expected)) << c.read_timeout << (c.timing ? " timing" : "");
    }
}

TEST_F(SessionTest, EndedSessionsKeepNoDescriptorOpen) {
    using Kept = std::vector<DeviceSessionPtr>;
    struct Case {
        const char* name;
        std::function<void(Kept&)> cycle;
    };
    const std::vector<Case> cases = {
        {"disconnected, object still held",
         [](Kept& kept) {
             kept.push_back(ssh_connect(ap_params()));
             kept.back()->disconnect();
         }},
        {"destroyed without disconnect", [](Kept&) { ssh_connect(ap_params())->enable(); }},
        {"disconnected twice, then closed",
         [](Kept& kept) {
             kept.push_back(ssh_connect(ap_params()));
             kept.back()->disconnect();
             kept.back()->disconnect();
             kept.back()->close();
         }},
        {"login refused", [](Kept&) { error_of([] { ssh_connect(ap_params(kLockedAp)); }); }},
        {"nothing listening",
         [](Kept&) {
             DeviceParams p = ap_params("127.0.0.1");
             p.port = 9;
             error_of([&] { ssh_connect(p); });
         }},
        {"connection dropped by the device, then disconnected",
         [](Kept& kept) {
             kept.push_back(ssh_connect(ap_params(kDroppingAp)));
             error_of([&] { kept.back()->send_command("show drop now"); });
             kept.back()->disconnect();
         }},
        {"disconnected from another thread during a command",
         [](Kept& kept) {
             kept.push_back(ssh_connect(ap_params(kHangingAp)));
             std::thread worker([session = kept.back()] {
                 error_of([&] { session->send_command("show hang", 30); });
             });
             kept.back()->disconnect();
             worker.join();
         }},
    };
    ssh_connect(ap_params())->disconnect();  // libssh and its crypto set up once
    const int before = settled_descriptor_count(*sim_);
    for (const Case& c : cases) {
        Kept kept;
        for (int i = 0; i < 10; ++i) c.cycle(kept);
        EXPECT_EQ(settled_descriptor_count(*sim_), before) << c.name;
    }
}

}  // namespace
}  // namespace quorvane::session_test
