// The built quorvane program, run as a user would run it.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "fleetsim/simulator.hpp"
#include "tests/support/temp_folder.hpp"

namespace {

using ::testing::HasSubstr;
using ::testing::Not;

struct Result {
    int status = -1;
    std::string output;  // standard output and standard error together
};

std::string quoted(const std::string& arg) {
    std::string out = "'";
    for (char c : arg) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

Result run_cli(const std::vector<std::string>& args, const std::string& env = "") {
    std::string command = env + " " + quoted(QUORVANE_CLI_PATH);
    for (const auto& a : args) command += " " + quoted(a);
    // Never the test's own terminal: a question would wait for ever.
    if (env.find('|') == std::string::npos) command += " </dev/null";
    command += " 2>&1";
    Result result;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return result;
    char buf[4096];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, pipe)) > 0;)
        result.output.append(buf, n);
    const int raw = pclose(pipe);
    result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return result;
}

std::string read_text(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct SplitResult {
    int status = -1;
    std::string out;
    std::string err;
};

// Standard output and standard error kept apart.
SplitResult run_cli_split(const std::vector<std::string>& args, const std::string& env = "") {
    static int calls = 0;
    const auto err_file =
        std::filesystem::temp_directory_path() / ("stderr-" + std::to_string(calls++) + ".txt");
    std::string command = env + " " + quoted(QUORVANE_CLI_PATH);
    for (const auto& a : args) command += " " + quoted(a);
    command += " </dev/null 2>" + quoted(err_file.string());
    SplitResult result;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return result;
    char buf[4096];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, pipe)) > 0;) result.out.append(buf, n);
    const int raw = pclose(pipe);
    result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    result.err = read_text(err_file);
    return result;
}

TEST(QuorvaneCli, HelpNamesTheCommandsAndOptions) {
    const Result r = run_cli({"--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_THAT(r.output, HasSubstr("wlc-run"));
    EXPECT_THAT(r.output, HasSubstr("--ssh-port N"));
    EXPECT_THAT(r.output, HasSubstr("--simulate"));
    EXPECT_EQ(run_cli({"--version"}).output, "quorvane 0.1.0\n");
}

// A command line that cannot run says why in a few lines, and starts nothing: no
// simulator, no connection, no question.
TEST(QuorvaneCli, UsageErrorsExitWithTwoBeforeAnythingStarts) {
    struct Case {
        std::vector<std::string> args;
        std::string says;
    };
    const Case cases[] = {
        {{}, "Run 'quorvane COMMAND --help'"},
        {{"--simulate", "frobnicate"}, "unknown command 'frobnicate'"},
        {{"--json", "aps", "fetch"}, "unknown option --json (command options come after"},
        {{"wlc-run", "--simulate"}, "give the commands"},
        {{"--simulate", "flash-check", "--bogus"}, "unknown argument '--bogus'"},
        {{"wlc-run", "--ssh-port", "0", "show clock"}, "--ssh-port needs a port"},
        {{"wlc-run", "--cmds", "/nonexistent/cmds.txt"}, "cannot read the command file"},
        // Nobody is at a terminal to confirm what changes the APs.
        {{"aps", "poll", "--simulate", "show clock", "%reload%"}, "add --yes to go ahead"},
        {{"aps", "poll", "--simulate", "--image-download"}, "image download built from [FTP]"},
        {{"auth-loop", "--simulate", "--deauth"}, "add --yes to deauthenticate"},
    };
    for (const auto& c : cases) {
        const Result r = run_cli(c.args);
        EXPECT_EQ(r.status, 2) << r.output;
        EXPECT_THAT(r.output, HasSubstr(c.says));
        EXPECT_THAT(r.output, Not(HasSubstr("simulated fleet")));
        EXPECT_LT(std::count(r.output.begin(), r.output.end(), '\n'), 15) << r.output;
    }
}

// Each command names the settings it lacks and the lines that set them, and stops before
// it contacts anything (the configured controller would not answer anyway).
TEST(QuorvaneCli, MissingSettingsAreNamedBeforeAnythingIsContacted) {
    const std::string controller =
        "[WLC]\nwlc_ip = 127.10.0.250\nwlc_user = admin\nwlc_pasw = admin\n";
    const std::string ap = "[AP]\nap_user = a\nap_pasw = b\nap_enable = c\n";
    struct Case {
        std::string config;
        std::vector<std::string> args;
        std::vector<std::string> missing;
    };
    const Case cases[] = {
        {"", {"wlc-run", "show clock"}, {"[WLC] wlc_ip", "quorvane config set WLC wlc_pasw"}},
        {"[WLC]\nwlc_ip = 127.10.0.250\n", {"deauth", "0011.22aa.bbcc"}, {"[WLC] wlc_user"}},
        {controller, {"flash-check", "--json"}, {"[AP] ap_enable", "config set AP ap_pasw"}},
        {controller + ap, {"aps", "poll", "--image-download", "--yes"}, {"[FTP] ftp_addr"}},
    };
    for (const auto& c : cases) {
        test_support::TempFolder base;
        std::filesystem::create_directories(base.path() / "confd");
        std::ofstream(base.path() / "confd" / "config.ini") << c.config;
        const SplitResult r =
            run_cli_split(c.args, "QUORVANE_BASE_DIR=" + quoted(base.path().string()));
        EXPECT_EQ(r.status, 1) << r.err;
        for (const auto& text : c.missing) EXPECT_THAT(r.err, HasSubstr(text));
        EXPECT_THAT(r.err, Not(HasSubstr("Checking SSH port")));
        if (c.args.back() == "--json") {
            EXPECT_THAT(nlohmann::json::parse(r.out)["error"].get<std::string>(),
                        HasSubstr("[AP] ap_user"));
        } else {
            EXPECT_EQ(r.out, "");
        }
    }
}

TEST(QuorvaneCli, SimulatedRunPrintsEveryControllersOutput) {
    const auto cmds = std::filesystem::temp_directory_path() / "cmds.txt";
    std::ofstream(cmds) << "show clock\n\nshow ap summary\n";
    // The common option comes before the command here.
    const SplitResult r =
        run_cli_split({"--simulate", "wlc-run", "show version", "--cmds", cmds.string()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_THAT(r.err, HasSubstr("2 of 2 controller(s) completed"));
    EXPECT_THAT(r.out, HasSubstr("===== [WLC2] 127.10.0.2 =====\n<run timestamp="));
    EXPECT_THAT(r.out, Not(HasSubstr("[WLC] Running")));

    const std::string marker = "configuration and output are under ";
    const auto at = r.err.find(marker);
    ASSERT_NE(at, std::string::npos) << r.err;
    const std::string base =
        r.err.substr(at + marker.size(), r.err.find('\n', at) - at - marker.size());
    int files = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(base + "/data")) {
        if (entry.path().filename() != "wlc_outputs.txt") continue;
        ++files;
        const std::string text = read_text(entry.path());
        EXPECT_THAT(text, HasSubstr("\n<cmd string='show version'>\n\tshow version\n"));
        EXPECT_THAT(text, HasSubstr("\n<cmd string='show ap summary'>\n\tshow ap summary\n"));
        EXPECT_THAT(text, HasSubstr("Cisco IOS XE Software"));
        EXPECT_THAT(r.out, HasSubstr(text));
    }
    EXPECT_EQ(files, 2);

    const SplitResult quiet = run_cli_split({"wlc-run", "--simulate", "--quiet", "show clock"});
    EXPECT_EQ(std::count(quiet.out.begin(), quiet.out.end(), '\n'), 2) << quiet.out;
    EXPECT_THAT(quiet.out, HasSubstr("/wlc_outputs.txt\n"));
}

}  // namespace

namespace {

class ApsFetchCli : public ::testing::Test {
  protected:
    std::string base_env() const { return "QUORVANE_BASE_DIR=" + quoted(base.path().string()); }
    test_support::TempFolder base;
};

// Standard output holds the answer alone; the log lines go to standard error (not a
// terminal here) and whole to quorvane.log; the library's own lines only with -v.
TEST_F(ApsFetchCli, SimulatedJsonIsTheWholeStandardOutput) {
    for (const bool verbose : {false, true}) {
        std::vector<std::string> args = {"aps", "fetch", "--simulate", "--json"};
        if (verbose) args.push_back("-v");
        const SplitResult r = run_cli_split(args, base_env());
        ASSERT_EQ(r.status, 0) << r.err;
        const nlohmann::json doc = nlohmann::json::parse(r.out);  // throws on anything extra
        ASSERT_TRUE(doc.is_object());
        EXPECT_TRUE(doc["total"].is_null());
        const auto& aps = doc["aps"];
        ASSERT_GE(aps.size(), 2u);
        std::string expected_list;
        std::set<std::string> ips;
        for (const auto& ap : aps) {
            EXPECT_EQ(ap.size(), 5u);
            EXPECT_TRUE(ips.insert(ap["ip"].get<std::string>()).second) << ap;
            EXPECT_FALSE(ap["wlc_ip"].get<std::string>().empty()) << ap;
            expected_list +=
                ap["ip"].get<std::string>() + " " + ap["model"].get<std::string>() + "\n";
        }
        EXPECT_EQ(read_text(doc["list_file"].get<std::string>()), expected_list);
        const std::string run_dir = doc["run_dir"];
        EXPECT_EQ(read_text(run_dir + "/ap_ip_list.txt"), expected_list);
        const std::string total = "[WLC] Total APs across all WLCs: " + std::to_string(aps.size());
        EXPECT_THAT(r.err, HasSubstr(total));
        EXPECT_THAT(read_text(run_dir + "/quorvane.log"), HasSubstr(total + "\n"));
        EXPECT_EQ(r.err.find(">>> LOADED Quorvane FROM: ") != std::string::npos, verbose);
        EXPECT_EQ(r.err.find("DEBUG DATA DIR: ") != std::string::npos, verbose);
    }
}

TEST_F(ApsFetchCli, ConfiguredOnlyThroughConfigSetAgainstAFleetOfItsOwn) {
    fleetsim::Options options;
    options.max_seconds = 120;
    options.state_dir = base.path() / "fleetsim";
    fleetsim::Simulator sim(fleetsim::default_fleet(12, 2), options);
    sim.start();
    const std::string env = base_env();
    for (const std::string section : {"WLC", "WLC2"}) {
        const std::string ip = section == "WLC" ? "127.10.0.1" : "127.10.0.2";
        ASSERT_EQ(run_cli({"config", "set", section, "wlc_ip", ip}, env).status, 0);
        ASSERT_EQ(run_cli({"config", "set", section, "wlc_user", "admin"}, env).status, 0);
        // The password comes from standard input, never from the command line.
        ASSERT_EQ(
            run_cli({"config", "set", section, "wlc_pasw"}, "printf 'admin\\n' | " + env).status,
            0);
    }
    const std::string path = run_cli_split({"config", "path"}, env).out;
    EXPECT_EQ(path, (base.path() / "confd" / "config.ini").string() + "\n");
    const std::string stored = read_text(base.path() / "confd" / "config.ini");
    EXPECT_THAT(stored, HasSubstr("wlc_pasw = ENC::"));
    const SplitResult shown = run_cli_split({"config", "show"}, env);
    EXPECT_THAT(shown.out, HasSubstr("[WLC2]\nwlc_ip = 127.10.0.2\nwlc_user = admin\n"
                                     "wlc_pasw = ****\n"));
    EXPECT_THAT(shown.out, Not(HasSubstr("ENC::")));

    const std::string port = std::to_string(sim.port());
    const SplitResult tagged = run_cli_split(
        {"aps", "fetch", "--ssh-port", port, "--site-tag", "ST-HQ-CAMPUS", "--json"}, env);
    ASSERT_EQ(tagged.status, 0) << tagged.err;
    const nlohmann::json doc = nlohmann::json::parse(tagged.out);
    EXPECT_EQ(doc["total"], 13);  // one AP is listed by both controllers
    ASSERT_FALSE(doc["aps"].empty());
    for (const auto& ap : doc["aps"]) EXPECT_EQ(ap["site_tag"], "ST-HQ-CAMPUS");

    const SplitResult text = run_cli_split(
        {"aps", "fetch", "--ssh-port", port, "--section", "WLC2", "--model-group", "C9130 Series"},
        env);
    EXPECT_EQ(text.status, 0) << text.err;
    EXPECT_THAT(text.out, HasSubstr("Name"));
    EXPECT_THAT(text.out, HasSubstr("APs; list: " + (base.path() / "confd").string()));

    // The tag is selected exactly: the rows of a tag that merely contains it are left out,
    // and said so.
    const SplitResult branch =
        run_cli_split({"aps", "fetch", "--ssh-port", port, "--site-tag", "ST-BRANCH-1"}, env);
    ASSERT_EQ(branch.status, 0) << branch.err;
    EXPECT_THAT(branch.out, Not(HasSubstr("ST-BRANCH-10")));
    EXPECT_THAT(branch.err, HasSubstr("left out 3 APs of site tag ST-BRANCH-10"));
    const std::string list = read_text(base.path() / "confd" / "ap_ip_list.txt");

    struct Case {
        std::string site_tag;
        std::string extra_config;
        std::string error;
    };
    const Case cases[] = {
        {"ST-NOPE", "",
         "no controller has site tag 'ST-NOPE'; the site tags they have: ST-BRANCH-1, "
         "ST-BRANCH-10, ST-HQ-CAMPUS, ST-WAREHOUSE"},
        // A controller that cannot be asked stops the selection rather than widening it.
        {"ST-HQ-CAMPUS", "[WLC3]\nwlc_ip = 127.10.0.250\nwlc_user = a\nwlc_pasw = b\n",
         "controller WLC3 (127.10.0.250) could not be asked which APs carry site tag "
         "'ST-HQ-CAMPUS'"},
    };
    for (const auto& [key, value] :
         {std::pair{"ap_user", "apadmin"}, {"ap_pasw", "appass"}, {"ap_enable", "apenable"}}) {
        ASSERT_EQ(run_cli({"config", "set", "AP", key, value}, env).status, 0);
    }
    for (const auto& c : cases) {
        std::ofstream(base.path() / "confd" / "config.ini", std::ios::app) << c.extra_config;
        const std::vector<std::string> poll = {"aps",        "poll",     "--ssh-port", port,
                                               "--site-tag", c.site_tag, "--json",     "reload"};
        EXPECT_EQ(run_cli(poll, env).status, 2);  // no terminal to confirm the reload on
        std::vector<std::string> confirmed = poll;
        confirmed.push_back("--yes");
        const SplitResult r = run_cli_split(confirmed, env);
        EXPECT_EQ(r.status, 1);
        EXPECT_THAT(nlohmann::json::parse(r.out)["error"].get<std::string>(), HasSubstr(c.error));
        EXPECT_THAT(r.err, Not(HasSubstr("[AP]")));
        // The list of the last selection is kept.
        EXPECT_EQ(read_text(base.path() / "confd" / "ap_ip_list.txt"), list);
    }
}

TEST_F(ApsFetchCli, EmptyResultsSayWhatLeftThemEmpty) {
    for (const auto& [key, value] :
         {std::pair{"wlc_ip", "127.10.0.250"}, {"wlc_user", "admin"}, {"wlc_pasw", "admin"}}) {
        ASSERT_EQ(run_cli({"config", "set", "WLC", key, value}, base_env()).status, 0);
    }
    const SplitResult unreachable = run_cli_split({"aps", "fetch", "--ssh-port", "1"}, base_env());
    EXPECT_EQ(unreachable.status, 1);
    EXPECT_EQ(unreachable.out, "");
    EXPECT_THAT(unreachable.err, HasSubstr("no controller answered the AP list request (WLC: "));
    EXPECT_FALSE(std::filesystem::exists(base.path() / "confd" / "ap_ip_list.txt"));

    const SplitResult filtered = run_cli_split(
        {"aps", "fetch", "--simulate", "--site-tag", "ST-LAB", "--model-group", "C9166"},
        base_env());
    EXPECT_EQ(filtered.status, 1);
    EXPECT_THAT(filtered.err, HasSubstr("the filter matched nothing: --model-group 'C9166'"));
}

TEST(QuorvaneCliUsage, InventoryAndConfigUsageErrorsExitWithTwo) {
    const std::vector<std::vector<std::string>> cases = {
        {"aps"},
        {"aps", "frob"},
        {"aps", "fetch", "--section"},
        {"aps", "fetch", "--section="},
        {"aps", "fetch", "--bogus"},
        {"config"},
        {"config", "frob"},
        {"config", "show", "extra"},
        {"config", "set", "WLC"},
        {"config", "set", "W]", "key", "value"},
        {"config", "set", "WLC", "a=b", "value"},
        {"config", "set", "wlc", "wlc_ip", "192.0.2.1"},
        {"config", "set", "WLC", "wlc_pswd", "secret"},
        {"config", "set", "WLC2", "wlc_ip", "wlc.example"},
        {"config", "set", "SSH", "legacy_algorithms", "maybe"},
    };
    for (const auto& args : cases) {
        EXPECT_EQ(run_cli(args).status, 2) << ::testing::PrintToString(args);
    }
    for (const char* sub : {"flash-check", "wlc-run", "aps", "config", "auth-loop", "deauth"}) {
        const Result help = run_cli({sub, "--help"});
        EXPECT_EQ(help.status, 0);
        EXPECT_THAT(help.output, HasSubstr("Example: quorvane " + std::string(sub)));
        const auto common = help.output.find("Options of every command");
        ASSERT_NE(common, std::string::npos) << sub;
        EXPECT_THAT(help.output.substr(0, common), HasSubstr(" --simulate")) << sub;
    }
}

// What config set refuses it stores with --force; reading the settings writes nothing.
TEST(QuorvaneCliConfig, ForceStoresWhatIsRefusedAndShowWritesNothing) {
    test_support::TempFolder base;
    const std::string env = "QUORVANE_BASE_DIR=" + quoted(base.path().string());
    EXPECT_EQ(run_cli({"config", "show"}, env).status, 0);
    EXPECT_EQ(run_cli({"config", "path"}, env).status, 0);
    EXPECT_FALSE(std::filesystem::exists(base.path() / "confd" / "config.ini"));

    EXPECT_EQ(run_cli({"config", "set", "SSH", "legacy_algorithms", "no"}, env).status, 0);
    EXPECT_EQ(run_cli({"config", "set", "--force", "WLC", "wlc_pswd", "x"}, env).status, 0);
    EXPECT_EQ(run_cli({"config", "set", "WLC", "wlc_ip", "192.0.2.1"}, env).status, 0);
    EXPECT_EQ(read_text(base.path() / "confd" / "config.ini"),
              "[WLC]\nwlc_pswd = x\nwlc_ip = 192.0.2.1\n\n[AP]\n\n[FTP]\nscp_port = 22\n\n"
              "[SSH]\nlegacy_algorithms = no\n\n");
}

}  // namespace
