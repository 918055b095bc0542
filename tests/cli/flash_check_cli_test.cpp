// quorvane flash-check against the simulator's demo fleet, read as JSON.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

#include <nlohmann/json.hpp>

#include "tests/support/demo_fleet_recovery.hpp"
#include "tests/support/temp_folder.hpp"

namespace {

using ::testing::HasSubstr;

std::string read_text(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct CliRun {
    int status = -1;
    std::string out;
    std::string err;
};

CliRun run_flash_check(const std::string& arguments, const std::filesystem::path& scratch) {
    const auto err_file = scratch / "stderr.txt";
    const std::string command = std::string("'") + QUORVANE_CLI_PATH + "' flash-check " +
                                arguments + " 2>'" + err_file.string() + "'";
    CliRun run;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return run;
    char buf[4096];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, pipe)) > 0;) run.out.append(buf, n);
    const int raw = pclose(pipe);
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.err = read_text(err_file);
    return run;
}

TEST(FlashCheckCli, SimulatedFleetLandsEveryApInItsRecoveryGroup) {
    test_support::TempFolder scratch;
    const CliRun run = run_flash_check("--simulate --json", scratch.path());
    ASSERT_EQ(run.status, 0) << run.err;
    const nlohmann::json result = nlohmann::json::parse(run.out);

    std::map<std::string, std::string> recovery;
    for (const auto& ap : result["susceptible"]) {
        recovery[ap["ap_name"]] = ap["recovery"];
        if (ap["ap_name"] == "AP-HQ-FLOOR5-MULTI") {
            EXPECT_THAT(ap["ap_model"].get<std::string>(), HasSubstr("[MULTI: "));
        }
    }
    EXPECT_EQ(recovery, test_support::kDemoFleetRecovery);

    // Non-QCA APs are never polled; the unreachable and the failing ones are polled, fail
    // and are not counted as checked.
    std::map<std::string, std::string> status;
    for (const auto& ap : result["aps"]) status[ap["name"]] = ap["status"];
    EXPECT_EQ(status.count("AP-BR10-LEGACY"), 0u);
    EXPECT_EQ(status.count("AP-WH-DOCK-C9120"), 0u);
    EXPECT_EQ(status["AP-WH-OFFLINE"], "Fail: Connection retries exhausted");
    EXPECT_THAT(status["AP-LAB-NOENABLE"], ::testing::StartsWith("Failed: "));
    EXPECT_EQ(status["AP-HQ-LOBBY-01"], "Success");
    EXPECT_EQ(result["polled"]["success"].get<int>() + result["polled"]["failed"].get<int>(),
              static_cast<int>(result["aps"].size()));

    ASSERT_EQ(result["reports"].size(), 2u);
    for (const auto& report : result["reports"]) {
        const std::string text = read_text(report.get<std::string>());
        EXPECT_THAT(text, HasSubstr("=========== RECOVERY SUMMARY ==========="));
    }
}

TEST(FlashCheckCli, UsageErrorsExitWithTwo) {
    test_support::TempFolder scratch;
    EXPECT_EQ(run_flash_check("--frobnicate", scratch.path()).status, 2);
    EXPECT_EQ(run_flash_check("--cmds", scratch.path()).status, 2);
    std::ofstream(scratch.path() / "empty.txt") << "\n";
    EXPECT_EQ(
        run_flash_check("--cmds '" + (scratch.path() / "empty.txt").string() + "'", scratch.path())
            .status,
        2);
    const CliRun help = run_flash_check("--help", scratch.path());
    EXPECT_EQ(help.status, 0);
    EXPECT_THAT(help.out, HasSubstr("Example: quorvane flash-check --simulate"));
}

}  // namespace
