// quorvane aps poll, run as a user would run it: JSON lines, the retry file, Ctrl-C.

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "fleetsim/simulator.hpp"
#include "tests/support/temp_folder.hpp"

extern char** environ;

namespace {

using ::testing::HasSubstr;
using ::testing::Not;

std::string read_text(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The program with its own base directory, standard output and error read apart. When
// `interrupt_after_lines` is set, SIGINT is sent once that many lines reached standard
// output.
struct PollRun {
    int status = -1;
    std::string out, err;
};

PollRun run_poll(const std::vector<std::string>& args, const std::filesystem::path& base,
                 int interrupt_after_lines = 0) {
    int out_pipe[2], err_pipe[2];
    if (pipe2(out_pipe, O_CLOEXEC) != 0 || pipe2(err_pipe, O_CLOEXEC) != 0) return {};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out_pipe[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err_pipe[1], 2);
    std::vector<std::string> argv_text = {QUORVANE_CLI_PATH, "aps", "poll"};
    argv_text.insert(argv_text.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : argv_text) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> env_text = {"QUORVANE_BASE_DIR=" + base.string()};
    for (char** e = environ; *e; ++e) {
        if (std::string(*e).rfind("QUORVANE_BASE_DIR=", 0) != 0) env_text.push_back(*e);
    }
    std::vector<char*> envp;
    for (auto& e : env_text) envp.push_back(e.data());
    envp.push_back(nullptr);
    pid_t pid = -1;
    const int spawned =
        posix_spawn(&pid, QUORVANE_CLI_PATH, &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(out_pipe[1]);
    close(err_pipe[1]);
    PollRun run;
    if (spawned != 0) return run;

    bool interrupted = false;
    pollfd fds[2] = {{out_pipe[0], POLLIN, 0}, {err_pipe[0], POLLIN, 0}};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    int open_streams = 2;
    while (open_streams > 0 && std::chrono::steady_clock::now() < deadline) {
        if (::poll(fds, 2, 200) <= 0) continue;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP))) continue;
            char buf[4096];
            const ssize_t n = read(fds[i].fd, buf, sizeof buf);
            if (n <= 0) {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open_streams;
                continue;
            }
            (i == 0 ? run.out : run.err).append(buf, static_cast<std::size_t>(n));
        }
        const auto lines = std::count(run.out.begin(), run.out.end(), '\n');
        if (interrupt_after_lines > 0 && !interrupted && lines >= interrupt_after_lines) {
            interrupted = true;
            kill(pid, SIGINT);
        }
    }
    if (open_streams > 0) kill(pid, SIGKILL);
    int raw = 0;
    waitpid(pid, &raw, 0);
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return run;
}

// Ordered, so that the test sees the keys in the order they were printed.
std::vector<nlohmann::ordered_json> json_lines(const std::string& out) {
    std::vector<nlohmann::ordered_json> lines;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);)
        lines.push_back(nlohmann::ordered_json::parse(line));
    return lines;
}

class ApsPollCli : public ::testing::Test {
  protected:
    test_support::TempFolder base;
};

TEST_F(ApsPollCli, SimulatedPollPrintsJsonLinesAndARetryFileThatRetriesTheFailures) {
    const PollRun first = run_poll({"--simulate", "--json", "show clock"}, base.path());
    ASSERT_EQ(first.status, 1) << first.err;
    const auto lines = json_lines(first.out);  // throws on anything that is not JSON
    ASSERT_GE(lines.size(), 3u);
    const auto& summary = lines.back()["summary"];
    const int failed = summary["failed"];
    const int succeeded = summary["success"];
    EXPECT_GT(failed, 0);
    EXPECT_GT(succeeded, 0);
    EXPECT_EQ(lines.size(), static_cast<std::size_t>(failed + succeeded + 1));
    std::set<std::string> failed_ips;
    std::map<std::string, std::string> reasons;
    std::set<int> indices;
    for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
        const auto& ap = lines[i];
        std::vector<std::string> keys;
        for (const auto& [key, value] : ap.items()) keys.push_back(key);
        EXPECT_THAT(keys, ::testing::ElementsAre("index", "ip", "model", "status", "name", "wlc_ip",
                                                 "log", "reason"));
        EXPECT_TRUE(indices.insert(ap["index"].get<int>()).second);
        if (ap["status"] == "Success") {
            EXPECT_THAT(read_text(ap["log"].get<std::string>()), HasSubstr("<run timestamp="));
            EXPECT_TRUE(ap["reason"].is_null());
        } else {
            failed_ips.insert(ap["ip"].get<std::string>());
            reasons[ap["ip"].get<std::string>()] = ap["reason"];
        }
    }
    EXPECT_THAT(reasons["127.20.0.11"], ::testing::StartsWith("connection refused on port "));
    EXPECT_EQ(reasons["127.20.0.12"], "enable secret refused by the device");
    EXPECT_EQ(reasons["127.20.0.13"], "connection closed by the device");
    const std::string run_dir = summary["run_dir"];
    const std::string retry_file = run_dir + "/failed_aps.json";
    const auto retry = nlohmann::json::parse(read_text(retry_file));
    std::set<std::string> listed;
    for (const auto& ap : retry["aps"]) listed.insert(ap["ip"].get<std::string>());
    EXPECT_EQ(listed, failed_ips);
    // The simulated fleet is gone once the run ends: no retry line that cannot work.
    EXPECT_THAT(first.err, HasSubstr("they are listed in " + retry_file));
    EXPECT_THAT(first.err, Not(HasSubstr("retry exactly those with")));

    test_support::TempFolder second_base;
    const PollRun second =
        run_poll({"--simulate", "--json", "--aps", retry_file, "show clock"}, second_base.path());
    const auto again = json_lines(second.out);
    std::set<std::string> polled;
    for (std::size_t i = 0; i + 1 < again.size(); ++i) polled.insert(again[i]["ip"]);
    EXPECT_EQ(polled, failed_ips);
}

// The first three APs answer; every other one stops answering at the first command of the
// list, so the run cannot finish before the interrupt however slow or fast the machine,
// and only a stop ends it.
TEST_F(ApsPollCli, FirstCtrlCWindsTheRunDownAndExitsWith130) {
    fleetsim::Fleet fleet = fleetsim::default_fleet(60);
    nlohmann::json aps = nlohmann::json::array();
    for (auto& device : fleet.devices) {
        if (device.kind != fleetsim::DeviceKind::access_point) continue;
        if (aps.size() >= 3) device.faults.hang_on = "show clock";
        aps.push_back({{"name", device.hostname},
                       {"model", device.model},
                       {"ip", device.address},
                       {"site_tag", ""},
                       {"wlc_ip", device.controller}});
    }
    fleetsim::Options options;
    options.max_seconds = 120;
    options.state_dir = base.path() / "fleetsim";
    fleetsim::Simulator sim(fleet, options);
    sim.start();
    std::filesystem::create_directories(base.path() / "confd");
    std::ofstream(base.path() / "confd" / "config.ini")
        << "[AP]\nap_user = apadmin\nap_pasw = appass\nap_enable = apenable\n";
    const auto list = base.path() / "aps.json";
    std::ofstream(list) << nlohmann::json({{"aps", aps}}).dump();

    const PollRun run = run_poll({"--ssh-port", std::to_string(sim.port()), "--json", "--aps",
                                  list.string(), "show clock", "show boot", "show flash"},
                                 base.path(), 3);
    // A run the stop did not end would hang until the harness kills it, with no status.
    EXPECT_EQ(run.status, 130) << run.err;
    EXPECT_THAT(run.err, HasSubstr("stopped by Ctrl-C after "));
    const auto lines = json_lines(run.out);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_TRUE(lines.back().contains("summary"));
    // 30 workers: the first 30 APs, then at most one more for each of the three that
    // finished. The APs still queued at the interrupt were never logged in to.
    int logged_in = 0;
    for (const auto& ap : aps) logged_in += sim.state(ap["ip"]).logins > 0;
    EXPECT_LE(logged_in, 33);
}

// An AP list with one AP of a fleet of the test's own and one address nobody answers.
std::filesystem::path write_ap_list(const std::filesystem::path& base, const fleetsim::Fleet& fleet,
                                    int port) {
    nlohmann::json aps = nlohmann::json::array();
    for (const auto& device : fleet.devices) {
        if (device.kind != fleetsim::DeviceKind::access_point) continue;
        aps.push_back({{"name", device.hostname},
                       {"model", device.model},
                       {"ip", device.address},
                       {"wlc_ip", device.controller}});
        break;
    }
    aps.push_back({{"name", "AP-GONE"}, {"model", "C9130AXI-B"}, {"ip", "127.20.0.250"}});
    std::filesystem::create_directories(base / "confd");
    std::ofstream(base / "confd" / "config.ini")
        << "[AP]\nap_user = apadmin\nap_pasw = appass\nap_enable = apenable\n";
    const auto list = base / ("aps-" + std::to_string(port) + ".json");
    std::ofstream(list) << nlohmann::json({{"aps", aps}}).dump();
    return list;
}

// The output of a shell line, standard error left out.
std::string shell_output(const std::string& line) {
    FILE* pipe = popen((line + " </dev/null 2>/dev/null").c_str(), "r");
    if (!pipe) return "";
    std::string out;
    char buf[4096];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, pipe)) > 0;) out.append(buf, n);
    pclose(pipe);
    return out;
}

// The retry line, run exactly as printed, polls the AP that failed and only it; flash-check
// takes the same retry file.
TEST_F(ApsPollCli, RetryLineRunsAsPrinted) {
    fleetsim::Options options;
    options.max_seconds = 120;
    options.state_dir = base.path() / "fleetsim";
    const fleetsim::Fleet fleet = fleetsim::default_fleet(2);
    fleetsim::Simulator sim(fleet, options);
    sim.start();
    const std::string port = std::to_string(sim.port());
    const auto list = write_ap_list(base.path(), fleet, sim.port());
    const PollRun first = run_poll(
        {"--ssh-port", port, "--aps", list.string(), "show clock", "show ver"}, base.path());
    EXPECT_EQ(first.status, 1) << first.err;
    const std::string hint_start = "\n  quorvane aps poll --ssh-port " + port + " --aps ";
    const auto at = first.err.find(hint_start);
    ASSERT_NE(at, std::string::npos) << first.err;
    const std::string hint = first.err.substr(at + 3, first.err.find('\n', at + 1) - at - 3);
    EXPECT_THAT(hint, ::testing::EndsWith("failed_aps.json 'show clock' 'show ver'"));

    const std::string env = "QUORVANE_BASE_DIR='" + base.path().string() + "' ";
    const auto lines =
        json_lines(shell_output(env + "'" + QUORVANE_CLI_PATH + "'" + hint.substr(8) + " --json"));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0]["ip"], "127.20.0.250");

    const std::string retry_file =
        hint.substr(hint.find("--aps ") + 6, hint.find(" 'show") - hint.find("--aps ") - 6);
    const auto checked = nlohmann::json::parse(shell_output(env + "'" + QUORVANE_CLI_PATH +
                                                            "' flash-check --ssh-port " + port +
                                                            " --aps " + retry_file + " --json"));
    ASSERT_EQ(checked["aps"].size(), 1u);
    EXPECT_EQ(checked["aps"][0]["ip"], "127.20.0.250");
}

// The plan of a dry run: every AP, its log file and what each entry becomes; nothing is
// contacted, so the addresses need not answer and no log is written.
TEST_F(ApsPollCli, DryRunPrintsThePlanAndContactsNothing) {
    const auto list = base.path() / "aps.json";
    std::ofstream(list) << R"({"aps":[{"name":"AP-1","model":"C9130AXI-B","ip":"127.20.0.250",)"
                           R"("wlc_ip":"127.10.0.250"},{"name":"AP-2","model":"C9130AXI-B",)"
                           R"("ip":"127.20.0.251"}]})";
    const std::vector<std::string> cmds = {"show clock", "sleep_5", "sleep_4000", "%reload%",
                                           "show boot"};
    std::vector<std::string> args = {"--aps", list.string(), "--dry-run", "--json"};
    args.insert(args.end(), cmds.begin(), cmds.end());
    const PollRun run = run_poll(args, base.path());
    ASSERT_EQ(run.status, 0) << run.err;
    const auto plan = nlohmann::json::parse(run.out)["plan"];
    ASSERT_EQ(plan.size(), 2u);
    EXPECT_EQ(plan[0]["entries"],
              nlohmann::json({"show clock", "wait 5 s", "skip sleep_4000 (longer than 3600 s)",
                              "reload (confirmation answered with y; the list ends here)"}));
    EXPECT_THAT(plan[0]["log"].get<std::string>(),
                ::testing::EndsWith("WLC_127_10_0_250/AP_AP-1.log"));
    EXPECT_EQ(plan[1]["wlc_ip"], "");
    EXPECT_FALSE(std::filesystem::exists(plan[0]["log"].get<std::string>()));
    EXPECT_THAT(run.err, Not(HasSubstr("[AP] (1) Connecting")));
}

TEST(ApsPollCliUsage, ConflictingOrIncompleteOptionsExitWithTwo) {
    test_support::TempFolder base;
    const std::vector<std::vector<std::string>> cases = {
        {"--aps", "x.json", "--site-tag", "ST"},
        {"--bogus"},
        {"--cmds"},
        {"--device", ""},
        {"--aps", (base.path() / "missing.json").string()},
    };
    for (const auto& args : cases) {
        EXPECT_EQ(run_poll(args, base.path()).status, 2) << ::testing::PrintToString(args);
    }
}

}  // namespace
