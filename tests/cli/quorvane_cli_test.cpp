// The built quorvane program, run as a user would run it.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

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
