// Every failed connection attempt to an AP names its cause, in the log and in the AP's
// result, over real SSH against the simulated fleet.

#include <fstream>

#include "tests/poller/sim_fixture.hpp"

namespace quorvane::testing {
namespace {

using ::testing::AnyOf;
using ::testing::Contains;
using ::testing::Eq;
using ::testing::Matcher;
using ::testing::Not;
using ::testing::StartsWith;

TEST_F(SimPollTest, EachFailedAttemptNamesItsCauseAndOlderDevicesLogIn) {
    auto older = sim_ap("127.20.0.1", "AP-OLDER");
    older.legacy_ssh_only = true;
    auto locked = sim_ap("127.20.0.2", "AP-LOCKED");
    locked.faults.wrong_password = true;
    auto closing = sim_ap("127.20.0.3", "AP-CLOSING");
    closing.faults.close_after_kex = true;
    start(sim_fleet({older, locked, closing, sim_ap("127.20.0.4", "AP-REPLACED")}));
    ApRows rows = rows_of(sim->fleet());
    rows.push_back(make_ap_row("127.20.0.99", "C9130AXI-B", "AP-GONE", "", "127.10.0.1"));
    const std::string port = std::to_string(sim->port());
    const std::string known_hosts = CONFD + "/known_hosts";
    std::ofstream(known_hosts)
        << "[127.20.0.4]:" << port
        << " ssh-ed25519 "
           "AAAAC3NzaC1lZDI1NTE5AAAAIAEBAQEBAQEBAQEBAQEBAQEBAQEBAQEBAQEBAQEBAQEB\n";

    struct Case {
        std::size_t row;
        const char* legacy_algorithms;
        Matcher<std::string> reason;  // empty: the poll succeeds
        int attempts;                 // failed attempts logged
    };
    // A device that finds no common algorithm may hang up before its offer is read.
    const Matcher<std::string> no_common_method = AnyOf(
        Eq("no common key exchange method (device offers: diffie-hellman-group14-sha1, "
           "diffie-hellman-group1-sha1; older algorithms are off: [SSH] legacy_algorithms = no)"),
        Eq("connection closed by the device during the key exchange (older algorithms are off: "
           "[SSH] legacy_algorithms = no)"));
    const Case cases[] = {
        {0, "yes", Eq(""), 0},
        {1, "yes", Eq("password refused by the device"), 3},
        {2, "yes", Eq("connection closed by the device"), 3},
        {3, "yes",
         Eq("host key changed since it was first remembered (" + known_hosts + " line 1)"), 1},
        {4, "yes", Eq("connection refused on port " + port), 3},
        {0, "no", no_common_method, 3},
    };
    for (const Case& c : cases) {
        const std::string& ip = rows[c.row]->ip;
        SCOPED_TRACE(ip + " legacy_algorithms=" + c.legacy_algorithms);
        auto e = engine();
        e->ini.set("SSH", "legacy_algorithms", c.legacy_algorithms);
        PollResult result;
        e->options.on_poll_result = [&](const PollResult& r) { result = r; };
        logs.clear();
        e->run_ap_poller({rows[c.row]}, "AP", {"show clock"});

        EXPECT_EQ(result.status == "Success", c.attempts == 0) << result.status;
        EXPECT_THAT(result.reason, c.reason);
        const auto attempt = [&](int n) {
            return "[AP] " + ip + " attempt " + std::to_string(n) + "/3 failed: ";
        };
        for (int n = 1; n < c.attempts; ++n) EXPECT_THAT(logs, Contains(StartsWith(attempt(n))));
        // The result carries the last attempt's cause.
        if (c.attempts > 0) {
            EXPECT_THAT(logs, Contains(attempt(c.attempts) + result.reason));
        }
        EXPECT_THAT(logs, Not(Contains(StartsWith(attempt(c.attempts + 1)))));
    }
    EXPECT_TRUE(no_connection_left());
}

}  // namespace
}  // namespace quorvane::testing
