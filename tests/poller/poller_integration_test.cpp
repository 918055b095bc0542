// Poll runs over real SSH against the simulated fleet: faults, /tmp housekeeping, an SFTP
// download and the per-AP log files.

#include "quorvane/paths/utf8.hpp"
#include "tests/poller/sim_fixture.hpp"

namespace quorvane::testing {
namespace {

using ::testing::AllOf;
using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

const std::string kCopy = "copy sftp://127.0.0.1/images/ap-image.tar flash:ap-image.tar";

TEST_F(SimPollTest, EveryFaultEndsItsApWithItsOwnStatusAndTheHealthyOnesSucceed) {
    auto refusing = sim_ap("127.20.0.2", "AP-NOENABLE");
    refusing.faults.refuse_enable = true;
    auto dropping = sim_ap("127.20.0.3", "AP-DROP");
    dropping.faults.drop_on = "show boot";
    auto hanging = sim_ap("127.20.0.4", "AP-HANG");
    hanging.faults.hang_on = "show boot";
    auto messy = sim_ap("127.20.0.5", "AP-MESSY");
    messy.faults.garbage_on = "show boot";
    messy.faults.huge_on = "show flash";
    start(sim_fleet({sim_ap("127.20.0.1", "AP-GOOD"), refusing, dropping, hanging, messy}));
    ApRows rows = rows_of(sim->fleet());
    rows.push_back(make_ap_row("127.20.0.99", "AIR-AP2802I-E-K9", "AP-GONE", "", "127.10.0.1"));

    // The hanging AP waits 2 s for each prompt instead of 180 s.
    auto e = engine(2);
    EXPECT_EQ(e->run_ap_poller(rows, "AP", {"show boot", "show flash"}), std::make_pair(3, 3));

    EXPECT_EQ(statuses[0], "Success");
    EXPECT_THAT(statuses[1], AllOf(StartsWith("Failed: Entering privileged mode on 127.20.0.2"),
                                   HasSubstr("refused")));
    EXPECT_THAT(statuses[2], AllOf(StartsWith("Failed: "), HasSubstr("Connection closed")));
    EXPECT_EQ(statuses[3], "Success");
    EXPECT_EQ(statuses[4], "Success");
    EXPECT_EQ(statuses[5], "Fail: Connection retries exhausted");
    EXPECT_THAT(logs, Contains("[AP] 127.20.0.99 SSH check slow, trying anyway..."));

    const auto file = [&](int i) { return read_text(ap_log_path(e->data_dir, "AP", *rows[i])); };
    EXPECT_FALSE(std::filesystem::exists(ap_log_path(e->data_dir, "AP", *rows[1])));
    EXPECT_FALSE(std::filesystem::exists(ap_log_path(e->data_dir, "AP", *rows[5])));
    // The dropping AP keeps its header and the block of the command it dropped on.
    EXPECT_TRUE(file(2).ends_with("\n<cmd string='show boot'>\n\tshow boot\n"));
    // The hanging AP: each command timed out, was sent again without prompt detection, and
    // the poll went on.
    const std::string hung = file(3);
    EXPECT_THAT(hung, HasSubstr("\n<cmd string='show flash'>\n\tshow flash\n"));
    int sent = 0;
    for (const auto& line : sim->transcript("127.20.0.4")) sent += line == "show boot";
    EXPECT_EQ(sent, 2);
    // A 1 MiB line and bytes that are no text arrive whole, as UTF-8.
    const std::string big = file(4);
    EXPECT_GT(big.size(), std::size_t{1} << 20);
    EXPECT_TRUE(is_valid_utf8(big));
    EXPECT_THAT(big, HasSubstr("\n<cmd string='show flash'>\n\tshow flash\n"));
    EXPECT_TRUE(no_connection_left());
}

TEST_F(SimPollTest, FullListWritesTheLogFileByteForByte) {
    auto ap = sim_ap("127.20.0.1", "AP-GOOD");
    ap.tmp_usage_percent = 75;
    start(sim_fleet({ap}));
    // The device's own answers, as its session returns them; the rest of the file is ours.
    DeviceParams params;
    params.host = "127.20.0.1";
    params.port = sim->port();
    params.username = "apadmin";
    params.password = "ap-s3cret";
    auto direct = ssh_connect(params);
    const std::string clock_output = direct->send_command("show clock");
    const std::string filesystems = direct->send_command("show filesystems");
    direct->disconnect();
    ASSERT_THAT(filesystems, HasSubstr("75% /tmp"));

    auto e = engine();
    const ApRows rows = rows_of(sim->fleet());
    EXPECT_EQ(e->run_ap_poller(rows, "AP",
                               {"show clock", "show filesystems", "delete /force /recursive /tmp/*",
                                "%clear counters%", "ip sftp username svc",
                                "ip sftp password ftp-s3cret", kCopy, "reload", "show clock"}),
              std::make_pair(1, 0));

    const std::string block = "\n<cmd string='";
    EXPECT_EQ(
        read_text(ap_log_path(e->data_dir, "AP", *rows[0])),
        "<run timestamp='2026-03-01T14:05:09.123456' device='AP' hostname='AP-GOOD' "
        "model='C9130AXI-B' version='17.9.4.27' Ip='127.20.0.1' SN='FOC2611X0AB'>\n" +
            block + "show clock'>\n\tshow clock\n" + clock_output + "\n" + block +
            "show filesystems'>\n\tshow filesystems\n" + filesystems + "\n" +
            "[TMP] /tmp usage detected: 75%\n" + block +
            "delete /force /recursive /tmp/*'>\n\tdelete /force /recursive /tmp/*\n"
            "[TMP] Cleanup executed successfully\n" +
            block +
            "clear counters'>\n\tclear counters\nclear counters\r\n"
            "Clear \"show interface\" counters on all interfaces [confirm]y\r\n\r\nAP-GOOD#\n" +
            block + "ip sftp username svc'>\n\tip sftp username svc\n\n" + block +
            "ip sftp password ****'>\n\tip sftp password ****\n\n" + block + kCopy + "'>\n\t" +
            kCopy + "\n\n[IMAGE DOWNLOAD] Result: AP-GOOD#\n" + block +
            "reload'>\n\treload\n[TMP] Connection closed after reload (expected)\n");

    const fleetsim::DeviceState state = sim->state("127.20.0.1");
    EXPECT_EQ(state.cleanup_count, 1);
    EXPECT_EQ(state.transfer_count, 1);
    EXPECT_EQ(state.reload_count, 1);
    EXPECT_EQ(state.sftp_password, "ftp-s3cret");
    EXPECT_THAT(logs, Contains("[IMAGE DOWNLOAD] Result: 48234496 bytes copied in 0.500 secs "
                               "(96468992 bytes/sec)"));
    EXPECT_THAT(logs, Contains("[TMP] 127.20.0.1 \u2192 /tmp is 75% \u2014 running cleanup"));
    EXPECT_TRUE(no_connection_left());
}

TEST_F(SimPollTest, ImageDownloadAnswersTheLoginPromptsAndKeepsTheSecretsOut) {
    start(sim_fleet({sim_ap("127.20.0.1", "AP-GOOD"), sim_ap("127.20.0.2", "AP-TWO")}));
    auto e = engine();
    const ApRows rows = rows_of(sim->fleet());
    EXPECT_EQ(e->run_ap_poller(rows, "AP", {}, "AP Image Download"), std::make_pair(2, 0));

    EXPECT_THAT(logs, Contains("[AP] Mode=AP Image Download | Commands to run: ['ip sftp username "
                               "svc', 'ip sftp password ****', '" +
                               kCopy + "']"));
    for (const auto& row : rows) {
        const auto state = sim->state(row->ip);
        EXPECT_EQ(state.transfer_count, 1);
        EXPECT_EQ(state.sftp_username, "svc");
        EXPECT_EQ(state.sftp_password, "ftp-s3cret");
        const auto transcript = sim->transcript(row->ip);
        EXPECT_THAT(transcript, Contains("ip sftp password ftp-s3cret"));
        EXPECT_THAT(transcript, Contains("ftp-s3cret"));  // the answer to "Password: "

        const std::string text = read_text(ap_log_path(e->data_dir, "AP", *row));
        EXPECT_THAT(text, HasSubstr("\n[IMAGE DOWNLOAD] Result: " + row->name + "#\n"));
        for (const std::string secret : {"ftp-s3cret", "ap-s3cret", "en-s3cret"}) {
            EXPECT_THAT(text, Not(HasSubstr(secret)));
        }
    }
    for (const auto& line : logs) {
        for (const std::string secret : {"ftp-s3cret", "ap-s3cret", "en-s3cret"}) {
            EXPECT_THAT(line, Not(HasSubstr(secret)));
        }
    }
}

TEST_F(SimPollTest, CleanupIsSkippedAtLowUsageAndTheReloadEndsTheList) {
    start(sim_fleet({sim_ap("127.20.0.1", "AP-GOOD")}));
    auto e = engine();
    const ApRows rows = rows_of(sim->fleet());
    e->run_ap_poller(
        rows, "AP",
        {"show filesystems", "delete /force /recursive /tmp/*", "%reload%", "show clock"});
    const std::string text = read_text(ap_log_path(e->data_dir, "AP", *rows[0]));
    EXPECT_THAT(text, HasSubstr("[TMP] /tmp usage detected: 10%\n"
                                "\n[TMP] Cleanup skipped (/tmp=10%, threshold=60%)\n"
                                "\n<cmd string='reload'>\n\treload\n"));
    EXPECT_THAT(text, Not(HasSubstr("show clock")));
    EXPECT_EQ(sim->state("127.20.0.1").cleanup_count, 0);
    EXPECT_EQ(sim->state("127.20.0.1").reload_count, 1);
    EXPECT_EQ(statuses[0], "Success");
}

}  // namespace
}  // namespace quorvane::testing
