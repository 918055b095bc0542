#include <gmock/gmock.h>

#include "sim_fixture.hpp"

namespace fleetsim_test {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

TEST_F(FleetsimTest, ApEnableNeedsTheSecret) {
    auto c = ap();
    c->command("enable", "Password: ");
    std::string wrong = c->command("nope", "AP-HQ-001>");
    EXPECT_THAT(wrong, HasSubstr("% Bad secrets"));
    EXPECT_THAT(wrong, Not(HasSubstr("nope")));  // secrets are not echoed
    // Privileged commands are unknown in user mode.
    EXPECT_THAT(c->command("delete /force /recursive /tmp/*", "AP-HQ-001>"),
                HasSubstr("% Invalid input"));
    c->command("enable", "Password: ");
    c->command("apenable", "AP-HQ-001#");
    EXPECT_THAT(c->command("enable", "AP-HQ-001#"), Not(HasSubstr("Password")));
    std::vector<std::string> t = sim_->transcript(kAp);
    EXPECT_EQ(t, (std::vector<std::string>{"enable", "nope", "delete /force /recursive /tmp/*",
                                           "enable", "apenable", "enable"}));
}

TEST_F(FleetsimTest, ApIdentifiesItselfWithTheMarkersTheToolsRead) {
    auto c = enabled_ap();
    c->command("terminal length 0", "AP-HQ-001#");
    std::string inventory = c->command("show inventory", "AP-HQ-001#");
    EXPECT_THAT(inventory, HasSubstr("PID: C9130AXI-B  , VID: 01, SN: FOC"));
    std::string version = c->command("show version", "AP-HQ-001#");
    EXPECT_THAT(version, HasSubstr("Cisco AP Software, (ap1g6a), C9130 Software"));
    EXPECT_THAT(version, HasSubstr("AP Running Image     : 17.9.4.27\r\n"));
    EXPECT_THAT(version, HasSubstr("Backup Boot Image    : 17.9.7.10\r\n"));
    EXPECT_THAT(version, HasSubstr("Model Number                 : C9130AXI-B"));
    EXPECT_THAT(version, Not(HasSubstr("--More--")));
    EXPECT_THAT(c->command("show boot", "AP-HQ-001#"), HasSubstr("BOOT path-list:      part1\r\n"));
    std::string fs = c->command("show filesystems", "AP-HQ-001#");
    EXPECT_THAT(fs, HasSubstr("/dev/ubivol/part2"));
    EXPECT_THAT(fs, HasSubstr(" 76% /tmp\r\n"));
    std::string integrity = c->command("show image integrity", "AP-HQ-001#");
    EXPECT_THAT(integrity, HasSubstr("Radio image          : Good"));
}

TEST_F(FleetsimTest, ApFlashStatesVaryAcrossTheFleet) {
    // AP 4 (127.20.0.4): cnssdaemon.log present, /tmp at 76 %; AP 5: integrity failure.
    auto c = ap("127.20.0.4", "AP-HQ-004");
    c->command("term len 0", "AP-HQ-004>");
    EXPECT_THAT(c->command("show flash", "AP-HQ-004>"), HasSubstr("root     root"));
    EXPECT_THAT(c->command("dir", "AP-HQ-004>"), HasSubstr("cnssdaemon.log"));
    auto d = ap("127.20.0.5", "AP-BR-005");
    d->command("term len 0", "AP-BR-005>");
    EXPECT_THAT(d->command("show image integrity", "AP-BR-005>"), HasSubstr(": Bad"));
    EXPECT_THAT(d->command("show boot", "AP-BR-005>"), HasSubstr("part1"));
    auto e = ap("127.20.0.2", "AP-BR-002");
    e->command("term len 0", "AP-BR-002>");
    EXPECT_THAT(e->command("show boot", "AP-BR-002>"), HasSubstr("BOOT path-list:      part2"));
}

TEST_F(FleetsimTest, ApCleanupAndReloadAreRemembered) {
    auto c = enabled_ap();
    c->command("term len 0", "AP-HQ-001#");
    c->command("delete /force /recursive /tmp/*", "AP-HQ-001#");
    EXPECT_THAT(c->command("show filesystems", "AP-HQ-001#"), HasSubstr("  4% /tmp"));
    EXPECT_EQ(sim_->state(kAp).cleanup_count, 1);

    c->command("reload", "Proceed with reload? [confirm]");
    c->send("\n");
    EXPECT_THAT(c->read_until("Reloading AP..."), HasSubstr("Writing reload reason"));
    EXPECT_TRUE(c->wait_closed(3000));
    EXPECT_EQ(sim_->state(kAp).reload_count, 1);
}

TEST_F(FleetsimTest, ApReloadCanBeDeclined) {
    auto c = enabled_ap();
    c->command("reload", "[confirm]");
    c->command("n", "AP-HQ-001#");
    EXPECT_EQ(sim_->state(kAp).reload_count, 0);
}

TEST_F(FleetsimTest, ApSftpCopyAsksForCredentials) {
    auto c = enabled_ap();
    c->command("ip sftp username svc", "AP-HQ-001#");
    c->command("ip sftp password s3cret", "AP-HQ-001#");
    EXPECT_EQ(sim_->state(kAp).sftp_username, "svc");
    c->command("copy sftp://10.0.0.9/images/ap-image.tar flash:ap-image.tar", "Username: ");
    c->command("svc", "Password: ");
    std::string out = c->command("s3cret", "AP-HQ-001#");
    EXPECT_THAT(out, Not(HasSubstr("s3cret")));
    EXPECT_THAT(out, HasSubstr("!!!!!"));
    EXPECT_THAT(out, HasSubstr("bytes copied in"));
    EXPECT_EQ(sim_->state(kAp).transfer_count, 1);

    c->command("copy sftp://10.0.0.9/images/ap-image.tar flash:ap-image.tar", "Username: ");
    c->command("", "Password: ");
    EXPECT_THAT(c->command("", "AP-HQ-001#"), HasSubstr("%Error opening sftp://"));
}

TEST_F(FleetsimTest, ApTftpCopyAndArchiveDownloadShowProgress) {
    auto c = enabled_ap();
    std::string tftp =
        c->command("copy tftp://10.0.0.9/images/ap-image.tar flash:ap-image.tar", "AP-HQ-001#");
    EXPECT_THAT(tftp, Not(HasSubstr("Username")));
    EXPECT_THAT(tftp, HasSubstr("bytes copied"));
    EXPECT_THAT(c->command("copy tftp:/// flash:", "AP-HQ-001#"),
                HasSubstr("%Error opening tftp:/// (No such file or directory)"));
    std::string archive =
        c->command("archive download-sw /reload tftp://10.0.0.9/ap.tar", "AP-HQ-001#");
    EXPECT_THAT(archive, HasSubstr("!!!!!!!!!!....."));
    EXPECT_THAT(archive, HasSubstr("Archive done."));
}

TEST_F(FleetsimTest, ApConfirmationTakesY) {
    auto c = enabled_ap();
    c->command("clear capwap private-config", "(y/n) ");
    EXPECT_THAT(c->command("y", "AP-HQ-001#"), HasSubstr("CAPWAP private configuration cleared."));
}

TEST_F(FleetsimTest, ApPagesLongOutputUntilPagingIsOff) {
    auto c = enabled_ap();
    c->send("show version\n");
    c->read_until(" --More-- ");
    c->send(" ");
    EXPECT_THAT(c->read_until("AP-HQ-001#"), HasSubstr("Product/Model Number"));
}

TEST_F(FleetsimTest, KeyboardInteractiveLoginWorks) {
    SshTestClient c(kAp, sim_->port(), "apadmin", "appass",
                    SshTestClient::Auth::keyboard_interactive);
    EXPECT_THAT(c.read_until("AP-HQ-001>"), HasSubstr("AP-HQ-001>"));
    EXPECT_THROW(SshTestClient(kAp, sim_->port(), "apadmin", "wrong",
                               SshTestClient::Auth::keyboard_interactive),
                 LoginError);
    EXPECT_EQ(sim_->state(kAp).logins, 1);
    EXPECT_GE(sim_->state(kAp).failed_logins, 1);
}

}  // namespace
}  // namespace fleetsim_test
