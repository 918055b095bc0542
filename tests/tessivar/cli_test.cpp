// Runs the built tessivar program on generated log folders.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <string>

#include "loggen.hpp"
#include "tests/support/demo_fleet_recovery.hpp"
#include "tests/support/temp_folder.hpp"

namespace {

using test_support::TempFolder;

using ::testing::HasSubstr;

struct ProgramRun {
    int status;
    std::string out;
};

ProgramRun run_program(const std::string& args, const std::string& environment = "") {
    const std::string command =
        environment + " '" + TESSIVAR_PROGRAM + "' " + args + " 2>/dev/null";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return {-1, ""};
    std::string out;
    char buf[4096];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, pipe)) > 0;) out.append(buf, n);
    const int status = ::pclose(pipe);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

class TessivarCli : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const auto& c : tessivar::loggen::branch_cases()) {
            tessivar::loggen::append_file(dir_ / ("AP_" + c.name + ".log"),
                                          tessivar::loggen::render_poll(c.poll));
        }
    }
    TempFolder dir_;
};

TEST_F(TessivarCli, TableListsSusceptibleApsAndReport) {
    const ProgramRun run = run_program("'" + dir_.path().string() + "'");
    EXPECT_EQ(run.status, 0);
    EXPECT_THAT(run.out, HasSubstr("9 susceptible APs:\nAP NAME  "));
    EXPECT_THAT(run.out, HasSubstr("\nswap                (ap1g6a)  "));
    EXPECT_THAT(run.out, HasSubstr("Recover with image partition swap\n"));
    EXPECT_THAT(run.out, HasSubstr("\nReport: " + dir_.path().string() + "/Status_check_results_"));
}

TEST_F(TessivarCli, JsonParses) {
    const ProgramRun run = run_program("--json '" + dir_.path().string() + "'");
    EXPECT_EQ(run.status, 0);
    const auto json = nlohmann::json::parse(run.out);
    ASSERT_EQ(json["susceptible_aps"].size(), 9u);
    EXPECT_EQ(json["susceptible_aps"][0]["ap_name"], "swap");
    EXPECT_EQ(json["susceptible_aps"][0]["ap_ip"], "10.1.1.1");
    EXPECT_EQ(json["susceptible_aps"][0]["recovery"], "Recover with image partition swap");
    EXPECT_THAT(json["report_path"].get<std::string>(), HasSubstr("Status_check_results_"));
}

TEST_F(TessivarCli, HealthyAndEmptyFoldersSucceed) {
    TempFolder empty;
    EXPECT_EQ(run_program("'" + empty.path().string() + "'").status, 0);
    tessivar::loggen::append_file(empty / "AP_ok.log",
                                  tessivar::loggen::render_poll(tessivar::loggen::ApPoll{}));
    const ProgramRun run = run_program("--json '" + empty.path().string() + "'");
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(nlohmann::json::parse(run.out)["susceptible_aps"].empty());
}

TEST_F(TessivarCli, BadFolderAndUsageExitWithTwo) {
    EXPECT_EQ(run_program("'" + (dir_ / "missing").string() + "'").status, 2);
    EXPECT_EQ(run_program("'" + (dir_ / "AP_swap.log").string() + "'").status, 2);
    EXPECT_EQ(run_program("").status, 2);
    EXPECT_EQ(run_program("--bogus '" + dir_.path().string() + "'").status, 2);
    EXPECT_EQ(run_program("a b").status, 2);
    EXPECT_EQ(run_program("--simulate '" + dir_.path().string() + "'").status, 2);
    EXPECT_EQ(run_program("--help").status, 0);
}

// The demo fleet's logs put each AP in the recovery group that a flash check of the
// simulated fleet finds for it; APs a poll cannot get through leave no log.
TEST(TessivarSimulate, ChecksTheLogsOfTheSimulatedFleet) {
    TempFolder tmp;
    const ProgramRun run = run_program("--simulate --json", "TMPDIR='" + tmp.path().string() + "'");
    ASSERT_EQ(run.status, 0);
    const auto json = nlohmann::json::parse(run.out);
    std::map<std::string, std::string> recovery;
    for (const auto& ap : json["susceptible_aps"]) recovery[ap["ap_name"]] = ap["recovery"];
    EXPECT_EQ(recovery, test_support::kDemoFleetRecovery);
    const std::filesystem::path report = json["report_path"].get<std::string>();
    EXPECT_EQ(report.parent_path().parent_path(), tmp.path());
    EXPECT_TRUE(std::filesystem::exists(report.parent_path() / "AP_AP-HQ-LOBBY-01.log"));
    EXPECT_FALSE(std::filesystem::exists(report.parent_path() / "AP_AP-WH-OFFLINE.log"));
}

}  // namespace
