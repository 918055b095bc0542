// One AP from connection to disconnection against a scripted session.

#include "quorvane/poller/ap_log_file.hpp"
#include "tests/poller/poller_fixture.hpp"

namespace quorvane::testing {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

const std::string kIp = "10.0.0.21";
const std::string kCopy = "copy sftp://10.0.0.9/images/ap-image.tar flash:ap-image.tar";

class SingleApPollTest : public PollerTest {
  protected:
    ApRowPtr row(const std::string& wlc_ip = "10.0.0.5", const std::string& name = "AP-Floor2") {
        return make_ap_row(kIp, "C9130AXI-B", name, "", wlc_ip);
    }
    PollResult poll(const std::vector<std::string>& cmds, ApRowPtr r = nullptr) {
        if (!engine) engine = make_poller();
        if (!r) r = row();
        polled = r;
        return engine->_poll_one_ap(0, r, "AP", cmds);
    }
    std::filesystem::path log_file() const { return ap_log_path(engine->data_dir, "AP", *polled); }
    std::string file() const { return read_text(log_file()); }

    std::unique_ptr<Quorvane> engine;
    ApRowPtr polled;
};

const std::string kHeader =
    "<run timestamp='2026-03-01T14:05:09.123456' device='AP' hostname='AP-Floor2' "
    "model='C9130AXI-E' version='17.9.4.27' Ip='10.0.0.21' SN='FOC1234ABCD'>\n";

TEST_F(SingleApPollTest, FullListWritesTheFileAndLogsByteForByte) {
    auto session = ap(kIp);
    session->outputs["show clock"] = "14:05:09 UTC";
    session->outputs["show filesystems"] = "tmpfs 60.0M 45.2M 14.8M 76% /tmp";
    session->timing_outputs["reload"] = "Proceed with reload? [confirm]";
    session->queue_channel({"clear counters\r\n[confirm]y\r\nAP1#",
                            "Username: ", "Password: ", "1234 bytes copied in 1.0 secs\r\nAP1#"});

    const PollResult result =
        poll({"show clock", "sleep_0", "show filesystems", "delete /force /recursive /tmp/*",
              "%clear counters%", kCopy, "reload", "show never"});

    EXPECT_EQ(result.idx, 0);
    EXPECT_EQ(result.ip, kIp);
    EXPECT_EQ(result.model, "C9130AXI-E");
    EXPECT_EQ(result.status, "Success");
    EXPECT_EQ(result.name, "AP-Floor2");
    EXPECT_EQ(result.wlc_ip, "10.0.0.5");
    EXPECT_EQ(log_file(),
              std::filesystem::path(engine->data_dir) / "WLC_10_0_0_5" / "AP_AP-Floor2.log");
    EXPECT_EQ(file(), kHeader +
                          "\n<cmd string='show clock'>\n\tshow clock\n14:05:09 UTC\n"
                          "\n<cmd string='show filesystems'>\n\tshow filesystems\n"
                          "tmpfs 60.0M 45.2M 14.8M 76% /tmp\n[TMP] /tmp usage detected: 76%\n"
                          "\n<cmd string='delete /force /recursive /tmp/*'>\n"
                          "\tdelete /force /recursive /tmp/*\n[TMP] Cleanup executed successfully\n"
                          "\n<cmd string='clear counters'>\n\tclear counters\n"
                          "clear counters\r\n[confirm]y\r\nAP1#\n"
                          "\n<cmd string='" +
                          kCopy + "'>\n\t" + kCopy +
                          "\n"
                          "\n[IMAGE DOWNLOAD] Result: AP1#\n"
                          "\n<cmd string='reload'>\n\treload\n[TMP] Reload initiated\n");
    const std::string pad = "10.0.0.21       | AP-Floor2       | ";
    EXPECT_THAT(log_lines(),
                ElementsAre("[AP] (1) Connecting 10.0.0.21 (AP-Floor2) C9130AXI-B ...",
                            "2026-03-01 14:05:09 | " + pad + "show clock",
                            "2026-03-01 14:05:09 | " + pad + "show filesystems",
                            "[TMP] 10.0.0.21 \u2192 /tmp usage = 76%",
                            "2026-03-01 14:05:09 | " + pad + "delete /force /recursive /tmp/*",
                            "[TMP] 10.0.0.21 \u2192 /tmp is 76% \u2014 running cleanup",
                            "[TMP] 10.0.0.21 \u2192 Cleanup complete",
                            "2026-03-01 14:05:09 | " + pad + "clear counters",
                            "2026-03-01 14:05:14 | " + pad + kCopy,
                            "Username: Password: 1234 bytes copied in 1.0 secs\r\n", "AP1#",
                            "[IMAGE DOWNLOAD] Result: 1234 bytes copied in 1.0 secs",
                            "2026-03-01 14:05:17 | " + pad + "reload",
                            "[TMP] 10.0.0.21 \u2192 Injecting reload (cleanup was done)",
                            "[TMP] 10.0.0.21 \u2192 Reload initiated successfully"));
    EXPECT_THAT(session->calls(),
                ElementsAre("enable()", "send_command(terminal length 0, 30)",
                            "send_command(show inventory, 120)", "send_command(show version, 120)",
                            "send_command(show clock, 180)", "send_command(show filesystems, 120)",
                            "send_command_timing(delete /force /recursive /tmp/*, none)",
                            "write_channel(clear counters\n)", "write_channel(y\n)",
                            "write_channel(" + kCopy + "\n)", "write_channel(svc\n)",
                            "write_channel(ftp-s3cret\n)", "send_command_timing(reload, none)",
                            "send_command_timing(\n, none)", "disconnect()"));
    EXPECT_EQ(clock->sleep_seconds(), (std::vector<long>{3, 2, 1, 1, 1}));
    // The worker leaves the shared row alone; the run's own thread copies the model in.
    EXPECT_EQ(result.model_number, "C9130AXI-E");
    EXPECT_EQ(polled->model, "C9130AXI-B");
}

// Short credentials (and keys that only look secret) occur in device data by chance; the
// log file the analyser reads must come out as it would without them.
TEST_F(SingleApPollTest, ShortSecretsLeaveTheLogFileByteIdentical) {
    const auto file_with = [&](const std::string& ap_pasw, const std::string& ap_enable) {
        write_config("[AP]\nap_user = apadmin\nap_pasw = " + ap_pasw +
                     "\nap_enable = " + ap_enable + "\n[OPTIONS]\nenable_mode = 1\n");
        ap(kIp)->outputs["show clock"] = "*14:05:09.123 UTC Sun Mar 1 2026";
        engine.reset();
        EXPECT_EQ(poll({"show clock", "show interfaces dot11Radio 1"}).status, "Success");
        return file();
    };
    const std::string unmasked = file_with("long-unrelated-pw", "long-unrelated-en");
    ASSERT_THAT(unmasked, HasSubstr("17.9.4.27"));
    EXPECT_EQ(file_with("1", "17.9"), unmasked);
}

TEST_F(SingleApPollTest, EmptyListConnectsIdentifiesWritesTheHeaderAndSucceeds) {
    auto session = ap(kIp);
    const PollResult result = poll({}, row(""));
    EXPECT_EQ(result.status, "Success");
    EXPECT_EQ(log_file(), std::filesystem::path(engine->data_dir) / "AP_AP-Floor2.log");
    EXPECT_EQ(file(), kHeader);
    EXPECT_EQ(session->calls().back(), "disconnect()");
}

TEST_F(SingleApPollTest, UnreachableApWarnsRetriesThreeTimesAndWritesNothing) {
    unreachable.insert(kIp);
    const PollResult result = poll({"show clock"});
    EXPECT_EQ(result.status, "Fail: Connection retries exhausted");
    EXPECT_EQ(result.reason, "connection refused");
    EXPECT_EQ(result.model, "C9130AXI-B");
    EXPECT_THAT(log_lines(), ElementsAre("[AP] (1) Connecting 10.0.0.21 (AP-Floor2) C9130AXI-B ...",
                                         "[AP] 10.0.0.21 SSH check slow, trying anyway...",
                                         "[AP] 10.0.0.21 attempt 1/3 failed: connection refused",
                                         "[AP] 10.0.0.21 attempt 2/3 failed: connection refused",
                                         "[AP] 10.0.0.21 attempt 3/3 failed: connection refused"));
    EXPECT_EQ(connects.size(), 3u);
    EXPECT_EQ(clock->sleep_seconds(), (std::vector<long>{3, 3, 3}));
    EXPECT_FALSE(std::filesystem::exists(log_file()));
}

TEST_F(SingleApPollTest, SecondAttemptSucceedsAfterOneRetryWait) {
    auto session = std::make_shared<FakeAp>();
    int calls = 0;
    engine = make_poller();
    engine->options.connect = [&](const DeviceParams&) -> DeviceSessionPtr {
        if (++calls == 1) throw std::runtime_error("Connection reset");
        return session;
    };
    EXPECT_EQ(poll({}).status, "Success");
    EXPECT_EQ(clock->sleep_seconds(), (std::vector<long>{3}));
}

TEST_F(SingleApPollTest, IdentificationFallsBackPieceByPiece) {
    struct Case {
        std::string inventory, version;
        std::string serial, result_model, row_model, image;
    };
    const std::vector<Case> cases = {
        {"PID: C9130AXI-E , VID: 01, SN: FOC1234ABCD", "AP Running Image     : 17.9.4.27",
         "FOC1234ABCD", "C9130AXI-E", "C9130AXI-B", "17.9.4.27"},
        {"no ids here", "Model Number                    : C9120AXI-B", "UNKNOWN", "C9130AXI-B",
         "C9120AXI-B", "UNKNOWN"},
        {"PID: AIR-AP2802I-E-K9", "model number: unknown\r\nAP Running Image : \r\n", "UNKNOWN",
         "AIR-AP2802I-E-K9", "C9130AXI-B", ""},
        {std::string("\xff\xfe garbage \x00", 12) + std::string(1 << 20, 'x') + "\nSN: ABC\xff",
         "AP Running Image: 8.10.1\xff\r\n", "ABC", "C9130AXI-B", "C9130AXI-B", "8.10.1\xff"},
    };
    for (const auto& c : cases) {
        auto session = ap(kIp);
        session->outputs["show inventory"] = c.inventory;
        session->outputs["show version"] = c.version;
        engine.reset();
        const PollResult result = poll({});
        EXPECT_EQ(result.model, c.result_model);
        EXPECT_EQ(result.model_number.empty() ? polled->model : result.model_number, c.row_model);
        const std::string header = file();
        EXPECT_THAT(header, HasSubstr("model='" + c.row_model + "'"));
        EXPECT_THAT(header, HasSubstr("SN='" + c.serial + "'>"));
        // The file only ever holds UTF-8: stray bytes are dropped on the way in.
        const std::string image =
            c.image.ends_with('\xff') ? c.image.substr(0, c.image.size() - 1) : c.image;
        EXPECT_THAT(header, HasSubstr("version='" + image + "'"));
    }
}

TEST_F(SingleApPollTest, PagingFallsBackToTheShortFormAndThenGoesOnWithoutIt) {
    auto session = ap(kIp);
    session->failing["terminal length 0"] = "Socket timed out";
    session->failing["term len 0"] = "Socket timed out";
    EXPECT_EQ(poll({}).status, "Success");
    EXPECT_THAT(session->calls(), Contains("send_command(term len 0, 30)"));
}

TEST_F(SingleApPollTest, PausesLogTheirSlicesAndWriteNothing) {
    auto session = ap(kIp);
    poll({"show clock", "sleep_65", "sleep_4000", "sleep_0", "show clock"});
    EXPECT_EQ(clock->sleep_seconds(), (std::vector<long>{30, 30, 5}));
    EXPECT_THAT(
        logs_starting("[SLEEP]"),
        ElementsAre("[SLEEP] Waiting 65s before next command...",
                    "[SLEEP] Still waiting... 30s / 65s", "[SLEEP] Still waiting... 60s / 65s",
                    "[SLEEP] *** Invalid sleep value: 4000s. Maximum allowed is 3600s (1 "
                    "hour). Command skipped."));
    EXPECT_EQ(session->count("send_command(show clock, 180)"), 2);
    const std::string text = file();
    EXPECT_THAT(text, Not(HasSubstr("sleep")));
    EXPECT_THAT(text, HasSubstr("output of show clock\n\n<cmd string='show clock'>"));
}

TEST_F(SingleApPollTest, CleanupRunsOnlyAboveSixtyPercent) {
    struct Case {
        std::string filesystems;
        bool cleans;
        std::string usage;
    };
    for (const Case& c : {Case{"tmpfs 61% /tmp", true, "61"}, Case{"tmpfs 60% /tmp", false, "60"},
                          Case{"no tmp line", false, "0"}}) {
        auto session = ap(kIp);
        session->outputs["show filesystems"] = c.filesystems;
        engine.reset();
        logs.clear();
        poll({"show filesystems", "delete /force /recursive /tmp/*"});
        const std::string cmd = "delete /force /recursive /tmp/*";
        EXPECT_EQ(session->count("send_command_timing(" + cmd + ", none)"), c.cleans ? 1 : 0);
        const std::string text = file();
        if (c.cleans) {
            EXPECT_TRUE(
                text.ends_with("\tdelete /force /recursive /tmp/*\n"
                               "[TMP] Cleanup executed successfully\n"));
        } else {
            EXPECT_TRUE(text.ends_with("[TMP] /tmp usage detected: " + c.usage + "%\n" +
                                       "\n[TMP] Cleanup skipped (/tmp=" + c.usage +
                                       "%, threshold=60%)\n"))
                << text;
            EXPECT_EQ(log_lines().back(),
                      "2026-03-01 14:05:09 | 10.0.0.21       | AP-Floor2       | " + cmd +
                          " [SKIPPED \u2014 /tmp=" + c.usage + "%]");
        }
    }
}

TEST_F(SingleApPollTest, FailedCleanupIsNotedAndThePollGoesOn) {
    auto session = ap(kIp);
    session->outputs["show filesystems"] = "tmpfs 90% /tmp";
    session->timing_failing["delete /force /recursive /tmp/*"] = "Socket is busy";
    EXPECT_EQ(poll({"show filesystems", "delete /force /recursive /tmp/*", "show clock"}).status,
              "Success");
    EXPECT_THAT(log_lines(), Contains("[TMP] 10.0.0.21 \u2192 Cleanup failed: Socket is busy"));
    EXPECT_THAT(file(),
                HasSubstr("[TMP] Cleanup failed: Socket is busy\n\n<cmd string='show clock'>"));
}

TEST_F(SingleApPollTest, ReloadEndsTheListWhicheverWayTheDeviceAnswers) {
    struct Case {
        std::string entry;
        std::optional<std::string> reply;  // none: the session raises
        int confirmations;
        std::string noted;
    };
    const std::vector<Case> cases = {
        {"reload", "Proceed with reload? [confirm]", 1, "[TMP] Reload initiated\n"},
        {"%reload%", "Reloading", 0, "[TMP] Reload initiated\n"},
        {"reload", std::nullopt, 0, "[TMP] Connection closed after reload (expected)\n"},
    };
    for (const auto& c : cases) {
        auto session = ap(kIp);
        if (c.reply) {
            session->timing_outputs["reload"] = *c.reply;
        } else {
            session->timing_failing["reload"] = "Socket is closed";
        }
        engine.reset();
        logs.clear();
        EXPECT_EQ(poll({c.entry, "show clock"}).status, "Success");
        EXPECT_EQ(session->count("send_command_timing(\n, none)"), c.confirmations);
        EXPECT_EQ(session->count("send_command(show clock, 180)"), 0);
        EXPECT_EQ(session->count("write_channel(y\n)"), 0);
        EXPECT_TRUE(file().ends_with("\n<cmd string='reload'>\n\treload\n" + c.noted));
        EXPECT_EQ(session->calls().back(), "disconnect()");
        EXPECT_EQ(log_lines().back(),
                  c.reply ? "[TMP] 10.0.0.21 \u2192 Reload initiated successfully"
                          : "[TMP] 10.0.0.21 \u2192 Connection closed after reload (expected)");
    }
}

TEST_F(SingleApPollTest, StopDuringAnEntryLetsItFinishAndCancelsTheRest) {
    auto session = ap(kIp);
    engine = make_poller();
    session->on_command = [&](const std::string& cmd) {
        if (cmd == "show two") engine->_shutdown_event = true;
    };
    const PollResult result = poll({"show one", "show two", "show three"});
    EXPECT_EQ(result.status, "Cancelled");
    EXPECT_EQ(result.model, "C9130AXI-E");
    EXPECT_EQ(session->count("send_command(show two, 180)"), 1);
    EXPECT_EQ(session->count("send_command(show three, 180)"), 0);
    EXPECT_FALSE(session->closed());
    EXPECT_EQ(engine->_open_sessions.size(), 1u);
    EXPECT_TRUE(file().ends_with("\n<cmd string='show two'>\n\tshow two\noutput of show two\n"));
}

TEST_F(SingleApPollTest, FailuresBecomeStatusesAndReleaseTheSession) {
    struct Case {
        std::string what;
        std::function<void(FakeAp&)> break_it;
        std::string status;
        bool header_written;
        std::string file_end;
    };
    const std::vector<Case> cases = {
        {"enable refused", [](FakeAp& s) { s.enable_error = "% Bad secrets"; },
         "Failed: % Bad secrets", false, ""},
        {"plain command times out",
         [](FakeAp& s) { s.failing["show two"] = "Timed out reading from 10.0.0.21"; },
         "Failed: Timed out reading from 10.0.0.21", true,
         "output of show one\n\n<cmd string='show two'>\n\tshow two\n"},
        {"usage command fails",
         [](FakeAp& s) { s.failing["show filesystems"] = "Socket is closed"; },
         "Failed: Socket is closed", true,
         "\n<cmd string='show filesystems'>\n\tshow filesystems\n"},
        {"disconnect fails", [](FakeAp& s) { s.disconnect_error = "EOF"; }, "Failed: EOF", true,
         "[TMP] /tmp usage detected: 0%\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto session = ap(kIp);
        c.break_it(*session);
        engine.reset();
        const PollResult result = poll({"show one", "show two", "show filesystems"});
        EXPECT_EQ(result.status, c.status);
        EXPECT_EQ(result.model, c.header_written ? "C9130AXI-E" : "C9130AXI-B");
        EXPECT_TRUE(session->closed());
        EXPECT_EQ(std::filesystem::exists(log_file()), c.header_written);
        EXPECT_EQ(engine->_open_sessions.size(), 1u);  // the test still holds it
        if (c.header_written) {
            EXPECT_TRUE(file().ends_with(c.file_end)) << file();
        }
    }
}

TEST_F(SingleApPollTest, LogFilesOfOneRunAppendAndFollowTheName) {
    ap(kIp);
    ap(kIp);
    poll({"show one"});
    poll({"show one"});
    const std::string text = file();
    EXPECT_EQ(text.find("<run "), 0u);
    EXPECT_NE(text.find("\n<run ", 1), std::string::npos);

    ap(kIp);
    poll({}, row("", ""));
    EXPECT_EQ(log_file().filename(), "AP_UNKNOWN.log");
    EXPECT_THAT(file(), HasSubstr("hostname=''"));

    ap(kIp);
    logs.clear();
    poll({"show one"}, make_ap_row("10.0.0.2", "", "Floor 2/East-Wing-Long", "", ""));
    EXPECT_EQ(log_file().filename(), "AP_Floor_2_East-Wing-Long.log");
}

TEST(ApCommandLogLine, PadsAddressAndNameToFifteenCharacters) {
    const auto when = test_start_time();
    setenv("TZ", "UTC", 1);
    tzset();
    EXPECT_EQ(ap_command_log_line(when, ApRow{"10.0.0.2", "", "Floor-2-East-Wing-X", "", ""},
                                  "show clock"),
              "2026-03-01 14:05:09 | 10.0.0.2        | Floor-2-East-Wing-X | show clock");
    EXPECT_EQ(ap_command_log_line(when, ApRow{"10.100.200.250", "", "Étage", "", ""}, "x"),
              "2026-03-01 14:05:09 | 10.100.200.250  | Étage           | x");
}

TEST_F(SingleApPollTest, StopBeforeTheTaskStartsTouchesNothing) {
    engine = make_poller();
    engine->shutdown();
    const PollResult result = poll({"show one"});
    EXPECT_EQ(result.status, "Cancelled");
    EXPECT_THAT(connects, IsEmpty());
    EXPECT_THAT(log_lines(), IsEmpty());
}

TEST_F(SingleApPollTest, SessionOpenedAfterTheSweepIsEndedAtOnce) {
    auto session = ap(kIp);
    engine = make_poller();
    engine->options.connect = [&](const DeviceParams&) -> DeviceSessionPtr {
        engine->shutdown();  // lands while this attempt is still connecting
        return session;
    };
    EXPECT_EQ(poll({"show one"}).status, "Cancelled");
    EXPECT_THAT(session->calls(), ElementsAre("disconnect()"));
}

TEST_F(SingleApPollTest, StopBetweenConnectionAttemptsEndsTheRetries) {
    engine = make_poller();
    int attempts = 0;
    engine->options.connect = [&](const DeviceParams&) -> DeviceSessionPtr {
        ++attempts;
        engine->_shutdown_event = true;
        throw std::runtime_error("Connection refused");
    };
    EXPECT_EQ(poll({}).status, "Cancelled");
    EXPECT_EQ(attempts, 1);
}

TEST_F(SingleApPollTest, SecretsReachTheDeviceButNoLogOrFile) {
    auto session = ap(kIp);
    session->failing["show two"] = "Pattern not detected after 'show two en-s3cret ap-s3cret'";
    session->timing_failing["show two"] = "Socket closed after 'ip sftp password ftp-s3cret'";
    const PollResult result =
        poll({"ip sftp username svc", "ip sftp password ftp-s3cret", "show ap-s3cret", "show two"});
    EXPECT_EQ(session->count("send_command(ip sftp password ftp-s3cret, 180)"), 1);
    EXPECT_EQ(result.status, "Failed: Socket closed after 'ip sftp password ****'");
    const std::string text = file();
    EXPECT_THAT(text, HasSubstr("<cmd string='ip sftp password ****'>\n\tip sftp password ****\n"));
    EXPECT_THAT(text, HasSubstr("<cmd string='show ****'>"));
    EXPECT_THAT(log_lines(), Contains(HasSubstr("| ip sftp password ****")));
    for (const std::string secret : {"ftp-s3cret", "ap-s3cret", "en-s3cret"}) {
        EXPECT_THAT(text, Not(HasSubstr(secret)));
        for (const auto& line : log_lines()) EXPECT_THAT(line, Not(HasSubstr(secret)));
    }
}

}  // namespace
}  // namespace quorvane::testing
