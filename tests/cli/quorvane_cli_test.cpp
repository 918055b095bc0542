// The built quorvane program, run as a user would run it.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

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
    command += " 2>" + quoted(err_file.string());
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
}

TEST(QuorvaneCli, UsageErrorsExitWithTwo) {
    EXPECT_EQ(run_cli({"frobnicate"}).status, 2);
    EXPECT_EQ(run_cli({"wlc-run"}).status, 2);
    EXPECT_EQ(run_cli({"wlc-run", "--ssh-port", "0", "show clock"}).status, 2);
    EXPECT_EQ(run_cli({"wlc-run", "--cmds", "/nonexistent/cmds.txt"}).status, 2);
}

TEST(QuorvaneCli, WithoutControllersItSaysWhereToConfigureThem) {
    const Result r = run_cli({"wlc-run", "show clock"});
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.output, HasSubstr("no controller configured"));
    EXPECT_THAT(r.output, HasSubstr("config.ini"));
}

TEST(QuorvaneCli, SimulatedRunWritesEveryControllersOutput) {
    const auto cmds = std::filesystem::temp_directory_path() / "cmds.txt";
    std::ofstream(cmds) << "show clock\n\nshow ap summary\n";
    const Result r = run_cli({"wlc-run", "--simulate", "show version", "--cmds", cmds.string()});
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_THAT(r.output, HasSubstr("2 of 2 controller(s) completed"));

    const std::string marker = "configuration and output are under ";
    const auto at = r.output.find(marker);
    ASSERT_NE(at, std::string::npos) << r.output;
    const std::string base =
        r.output.substr(at + marker.size(), r.output.find('\n', at) - at - marker.size());
    int files = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(base + "/data")) {
        if (entry.path().filename() != "wlc_outputs.txt") continue;
        ++files;
        const std::string text = read_text(entry.path());
        EXPECT_THAT(text, HasSubstr("\n<cmd string='show version'>\n\tshow version\n"));
        EXPECT_THAT(text, HasSubstr("\n<cmd string='show ap summary'>\n\tshow ap summary\n"));
        EXPECT_THAT(text, HasSubstr("Cisco IOS XE Software"));
    }
    EXPECT_EQ(files, 2);
}

}  // namespace

namespace {

using ::testing::Not;

class ApsFetchCli : public ::testing::Test {
  protected:
    std::string base_env() const { return "QUORVANE_BASE_DIR=" + quoted(base.path().string()); }
    test_support::TempFolder base;
};

TEST_F(ApsFetchCli, SimulatedJsonIsTheWholeStandardOutput) {
    const SplitResult r = run_cli_split({"aps", "fetch", "--simulate", "--json"}, base_env());
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
        expected_list += ap["ip"].get<std::string>() + " " + ap["model"].get<std::string>() + "\n";
    }
    EXPECT_EQ(read_text(doc["list_file"].get<std::string>()), expected_list);
    EXPECT_EQ(read_text(doc["run_dir"].get<std::string>() + "/ap_ip_list.txt"), expected_list);
    EXPECT_THAT(r.err, HasSubstr(">>> LOADED Quorvane FROM: "));
    EXPECT_THAT(r.err, HasSubstr("DEBUG DATA DIR: "));
    EXPECT_THAT(r.err, HasSubstr("[WLC] Total APs across all WLCs: " + std::to_string(aps.size())));
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

    const SplitResult unknown =
        run_cli_split({"aps", "fetch", "--ssh-port", port, "--site-tag", "ST-NOPE", "--json"}, env);
    EXPECT_EQ(unknown.status, 1);
    EXPECT_EQ(unknown.out, "");
    EXPECT_THAT(unknown.err, HasSubstr("quorvane: 'ST-NOPE' Site Tag Name Does not exist"));
}

TEST_F(ApsFetchCli, NoControllerOrNoApExitsWithOne) {
    const SplitResult none = run_cli_split({"aps", "fetch"}, base_env());
    EXPECT_EQ(none.status, 1);
    EXPECT_THAT(none.err, HasSubstr("no controller configured"));
    ASSERT_EQ(run_cli({"config", "set", "WLC", "wlc_ip", "127.10.0.250"}, base_env()).status, 0);
    const SplitResult empty = run_cli_split({"aps", "fetch", "--ssh-port", "1"}, base_env());
    EXPECT_EQ(empty.status, 1);
    EXPECT_THAT(empty.out, HasSubstr("0 APs; list: "));
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
    };
    for (const auto& args : cases) {
        EXPECT_EQ(run_cli(args).status, 2) << ::testing::PrintToString(args);
    }
    for (const char* sub : {"flash-check", "wlc-run", "aps", "config", "auth-loop", "deauth"}) {
        const Result help = run_cli({sub, "--help"});
        EXPECT_EQ(help.status, 0);
        EXPECT_THAT(help.output, HasSubstr("Example: quorvane " + std::string(sub)));
        const auto common = help.output.find("Options of every command:");
        ASSERT_NE(common, std::string::npos) << sub;
        EXPECT_THAT(help.output.substr(0, common), HasSubstr(" --simulate")) << sub;
    }
}

}  // namespace
