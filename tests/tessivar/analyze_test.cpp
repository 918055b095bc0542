#include "tessivar/analyze.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "loggen.hpp"
#include "tessivar/checks.hpp"
#include "tessivar/scan_pool.hpp"
#include "tests/support/temp_folder.hpp"

namespace {

using test_support::TempFolder;

using tessivar::AnalysisResult;
using tessivar::analyze_logs;
using tessivar::loggen::append_file;
using tessivar::loggen::ApPoll;
using tessivar::loggen::branch_cases;
using tessivar::loggen::render_poll;
using ::testing::HasSubstr;
using ::testing::Not;

std::string read_file(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string pad(const std::string& cell) {
    return cell + std::string(cell.size() < 22 ? 22 - cell.size() : 0, ' ');
}

std::string row(std::initializer_list<std::string> cells) {
    std::string out;
    for (const auto& c : cells) out += pad(c);
    return out + "\n";
}

// The report with its one time stamp replaced by "TS".
std::string without_time(std::string report) {
    const std::string key = "Flash Checker Run: ";
    for (std::size_t at = report.find(key); at != std::string::npos; at = report.find(key, at)) {
        at += key.size();
        report.replace(at, 19, "TS");
    }
    return report;
}

AnalysisResult analyze_quietly(const std::filesystem::path& dir, std::string* out = nullptr) {
    ::testing::internal::CaptureStdout();
    AnalysisResult result = analyze_logs(dir);
    const std::string printed = ::testing::internal::GetCapturedStdout();
    if (out) *out = printed;
    return result;
}

class TessivarAnalyze : public ::testing::Test {
  protected:
    void write(const std::string& name, const ApPoll& poll) {
        append_file(dir_ / name, render_poll(poll));
    }
    TempFolder root_;
    std::filesystem::path dir_ = root_ / "20250131_140509";
    void SetUp() override { std::filesystem::create_directories(dir_); }
};

TEST_F(TessivarAnalyze, EveryBranchLandsInItsGroup) {
    const auto cases = branch_cases();
    for (std::size_t i = 0; i < cases.size(); ++i) {
        ApPoll poll = cases[i].poll;
        poll.ip = "10.0.0." + std::to_string(i);
        write("AP_" + cases[i].name + ".log", poll);
    }
    const auto [records, report] = analyze_quietly(dir_);
    std::map<std::string, std::pair<std::string, std::string>> got;
    for (const auto& r : records) got[r.ap_name] = {r.recovery, r.ap_model};
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const auto& c = cases[i];
        if (c.recovery.empty()) {
            EXPECT_EQ(got.count(c.name), 0u) << c.name;
        } else {
            EXPECT_EQ(got[c.name], std::make_pair(c.recovery, c.model_text)) << c.name;
        }
    }
    // Records follow the group order, and within a group the folder's listing order.
    std::vector<std::string> listed;
    for (const auto& entry : std::filesystem::directory_iterator(dir_)) {
        const std::string file = entry.path().stem().string();
        if (file.starts_with("AP_")) listed.push_back(file.substr(3));
    }
    const std::vector<std::string> group_order = {
        "Recover with image partition swap", "Recover with devshell",
        "Safe state but AP has buggy image in the backup partition",
        "Image integrity check has failed for these APs",
        "Partition is safe but the flash storage is low"};
    std::vector<std::string> expected;
    for (const std::string& recovery : group_order) {
        for (const std::string& name : listed) {
            if (got.count(name) && got[name].first == recovery) expected.push_back(name);
        }
    }
    std::vector<std::string> order;
    for (const auto& r : records) order.push_back(r.ap_name);
    EXPECT_EQ(order, expected);
    EXPECT_EQ(order.size(), 9u);
    EXPECT_EQ(records[0].ap_name, "swap");
}

TEST_F(TessivarAnalyze, TakesFilesInTheFoldersListingOrder) {
    for (int i = 0; i < 24; ++i) {
        ApPoll poll;
        poll.hostname = "host-" + std::to_string(i);
        write("AP_" + poll.hostname + ".log", poll);
    }
    std::vector<std::string> listed;
    for (const auto& entry : std::filesystem::directory_iterator(dir_)) {
        listed.push_back(entry.path().stem().string().substr(3));
    }
    const std::string report = read_file(analyze_quietly(dir_).second);
    std::vector<std::string> table;
    std::istringstream lines(report);
    for (std::string line; std::getline(lines, line);) {
        if (line.starts_with("host-")) table.push_back(line.substr(0, line.find(' ')));
    }
    EXPECT_EQ(table, listed);
}

TEST_F(TessivarAnalyze, ReportLayout) {
    ApPoll swap = branch_cases()[1].poll;
    swap.ip = "10.1.1.1";
    ApPoll low = branch_cases()[9].poll;
    low.ip = "10.1.1.2";
    ApPoll noname;
    noname.hostname = "";
    noname.signature.reset();
    noname.part2_free = "9.999K";
    write("AP_swap.log", swap);
    write("AP_low.log", low);
    write("AP_x.log", noname);

    std::string printed;
    const auto [records, report] = analyze_quietly(dir_, &printed);
    const std::string path = (dir_ / "Status_check_results_20250131_140509.log").string();
    EXPECT_EQ(report, path);
    EXPECT_EQ(printed, "DEBUG: analyze_logs running on: " + dir_.string() +
                           "\nDEBUG summary_filename: " + path + "\n");
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[1].ap_name, "AP_x.log");
    EXPECT_EQ(records[1].ap_model, "UNKNOWN");
    EXPECT_EQ(records[1].recovery, "Recover with devshell");

    // Status rows follow the folder's listing order.
    const std::map<std::string, std::string> row_of = {
        {"AP_low.log", row({"low-flash", "(ap1g6b)", "17.18.1.100", "True", "17.9.7.100", "False",
                            "part2", "False", "45.50", "True"})},
        {"AP_swap.log", row({"swap", "(ap1g6a)", "17.13.1.5", "True", "17.9.7.100", "False",
                             "part1", "False", "50.00", "True"})},
        {"AP_x.log", row({"AP_x.log", "UNKNOWN", "17.9.5.1", "False", "17.9.7.100", "False",
                          "part1", "False", "0.01", "True"})}};
    std::string table_rows;
    for (const auto& entry : std::filesystem::directory_iterator(dir_)) {
        const auto found = row_of.find(entry.path().filename().string());
        if (found != row_of.end()) table_rows += found->second;
    }
    const std::string rule60(60, '=');
    const std::string expected =
        "\n" + rule60 + "\nFlash Checker Run: TS\n" + rule60 + "\n\n" +
        "=========== AP FLASH CHECK STATUS SUMMARY ===========\n\n" +
        "AP Name               Model                 Primary Image         Primary Buggy         "
        "Backup Image          Backup Buggy          Boot Partition        Image Integrity Failed"
        "Part2 Free MB         Low Memory            \n" +
        std::string(220, '-') + "\n" + table_rows +
        "\n\n=========== RECOVERY SUMMARY ===========\n\n" +
        "Recover with image partition swap\n  - swap ((ap1g6a)) [10.1.1.1]\n\n" +
        "Recover with devshell\n  - AP_x.log (UNKNOWN) [10.1.1.1]\n\n" +
        "Partition safe but low flash\n  - low-flash ((ap1g6b)) [10.1.1.2]\n\n" +
        "\n=========== SUSCEPTIBILITY SUMMARY ===========\n\n" + "Total Susceptible APs: 3\n" +
        "\n\n=========== QUICK RECOVERY SUMMARY ===========\n\n" +
        "swap ((ap1g6a)) [10.1.1.1]-> IMAGE PARTITION SWAP\n" +
        "AP_x.log (UNKNOWN) [10.1.1.1] -> DEV SHELL RECOVERY";
    EXPECT_EQ(without_time(read_file(path)), expected);
}

TEST_F(TessivarAnalyze, HealthyFolderReportAndTwoRunsAppend) {
    write("AP_a.log", ApPoll{});
    const auto [records, report] = analyze_quietly(dir_);
    EXPECT_TRUE(records.empty());
    const std::string first = read_file(report);
    EXPECT_THAT(first, HasSubstr("\nNo AP flash issues detected.\n\n\n=========== RECOVERY SUMMARY "
                                 "===========\n\nNo recovery actions required.\n\n"));
    EXPECT_THAT(first, HasSubstr("Total Susceptible APs: 0\n"));
    EXPECT_TRUE(first.ends_with("SUMMARY ===========\n\nNo recovery actions required."));

    // The earlier report is not analysed as one more AP.
    const auto again = analyze_quietly(dir_);
    EXPECT_EQ(again.second, report);
    const std::string both = read_file(report);
    EXPECT_EQ(without_time(both), without_time(first + first));
}

TEST_F(TessivarAnalyze, WhichEntriesAreLogs) {
    write("AP_UPPER.LOG", ApPoll{});
    std::filesystem::create_directories(dir_ / "sub.log");
    append_file(dir_ / "notes.txt", render_poll(ApPoll{}));
    append_file(dir_ / "Status_check_results_old.log", render_poll(ApPoll{}));
    append_file(dir_ / "Status_check_results_.LOG", render_poll(ApPoll{}));
    ApPoll other;
    other.hostname = "";
    write("status_check_results_x.log", other);
    const auto [records, report] = analyze_quietly(dir_);
    const std::string text = read_file(report);
    EXPECT_THAT(text, HasSubstr("\nAP-0001    "));
    EXPECT_THAT(text, HasSubstr("\nstatus_check_results_x.log"));
    EXPECT_THAT(text, Not(HasSubstr("sub.log")));
    EXPECT_THAT(text, Not(HasSubstr("notes.txt")));
    // Two status rows: the upper-case log and the name that only resembles a report.
    EXPECT_THAT(text, HasSubstr("---\nAP-0001" + std::string(15, ' ') + "(ap1g6a)"));
    EXPECT_THAT(text, HasSubstr("False                 \n\nNo AP flash issues detected."));
    EXPECT_EQ(text.find("AP-0001"), text.rfind("AP-0001"));
}

TEST_F(TessivarAnalyze, EmptyFolderWritesNothing) {
    std::filesystem::create_directories(dir_ / "sub.log");
    std::string printed;
    const auto [records, report] = analyze_quietly(dir_, &printed);
    EXPECT_TRUE(records.empty());
    EXPECT_EQ(report, "");
    EXPECT_EQ(printed, "DEBUG: analyze_logs running on: " + dir_.string() + "\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_), {}), 1);
}

TEST_F(TessivarAnalyze, MissingFolderThrows) {
    EXPECT_THROW(analyze_logs(dir_ / "nope"), std::filesystem::filesystem_error);
}

TEST_F(TessivarAnalyze, ReportNamedAfterFolderGivenWithTrailingSlash) {
    write("AP_a.log", ApPoll{});
    const auto result = analyze_quietly(dir_.string() + "/");
    EXPECT_EQ(std::filesystem::path(result.second).filename(),
              "Status_check_results_20250131_140509.log");
}

TEST_F(TessivarAnalyze, FreeSpaceThatIsNotANumberDoesNotEndTheRun) {
    ApPoll odd = branch_cases()[1].poll;
    odd.part2_free = "1.2.3M";
    write("AP_odd.log", odd);
    const auto [records, report] = analyze_quietly(dir_);
    EXPECT_TRUE(records.empty());
    EXPECT_THAT(read_file(report), HasSubstr("part1                 False                 "
                                             "                      None                  \n"));
}

TEST_F(TessivarAnalyze, NonAsciiNamesArePaddedByCharacter) {
    ApPoll poll;
    poll.hostname = "AP-\xC3\xA9t\xC3\xA9";
    write("AP_e.log", poll);
    const auto [records, report] = analyze_quietly(dir_);
    EXPECT_THAT(read_file(report),
                HasSubstr("\nAP-\xC3\xA9t\xC3\xA9" + std::string(16, ' ') + "(ap1g6a)"));
}

TEST_F(TessivarAnalyze, HostileInput) {
    // A multi-MB line without a break that is full of marker fragments.
    std::string huge;
    for (int i = 0; i < 200000; ++i) huge += "<run Ip=' cnssdaemon.log GOT IP[";
    append_file(dir_ / "AP_huge.log", huge);
    // NUL bytes, invalid UTF-8 and CRs around a real poll.
    ApPoll swap = branch_cases()[1].poll;
    std::string noisy = render_poll(swap);
    noisy.insert(noisy.find("BOOT path-list"), std::string("\0\xFF\xC3\r", 4));
    noisy.insert(noisy.find("AP Running"), std::string(1000, '\0'));
    append_file(dir_ / "AP_noisy.log", noisy);
    // Random binary garbage.
    std::mt19937 rng(7);
    std::string garbage(1 << 20, '\0');
    for (char& c : garbage) c = static_cast<char>(rng());
    append_file(dir_ / "AP_garbage.log", garbage);
    // A poll cut short in the middle of its integrity report.
    std::string cut = render_poll(branch_cases()[8].poll);
    cut.resize(cut.find("part2 rootfs"));
    append_file(dir_ / "AP_cut.log", cut);

    const auto [records, report] = analyze_quietly(dir_);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].ap_name, "swap");
    EXPECT_EQ(records[0].recovery, "Recover with image partition swap");
    const std::string text = read_file(report);
    EXPECT_THAT(text, HasSubstr("\nAP_huge.log           UNKNOWN"));
    EXPECT_THAT(text, HasSubstr("\nintegrity             (ap1g6a)"));
}

TEST_F(TessivarAnalyze, ParallelScanAgreesWithThePerFactChecks) {
    tessivar::loggen::write_fleet(dir_, 60, 4096);
    std::vector<std::filesystem::path> files;
    for (const auto& e : std::filesystem::directory_iterator(dir_)) files.push_back(e.path());
    const auto facts = tessivar::scan_files(files, 3);
    ASSERT_EQ(facts.size(), files.size());
    for (std::size_t i = 0; i < files.size(); ++i) {
        const auto& p = files[i];
        const auto& f = facts[i];
        EXPECT_EQ(f.hostname, tessivar::ap_hostname_from_run_header(p));
        EXPECT_EQ(f.ip, tessivar::ap_ip_from_run_header(p));
        EXPECT_EQ(f.model, tessivar::ap_model_from_log(p));
        EXPECT_EQ(f.primary, tessivar::primary_version_check(p));
        EXPECT_EQ(f.backup, tessivar::backup_version_check(p));
        EXPECT_EQ(f.cnss, tessivar::cnssdaemon_log_present(p));
        EXPECT_EQ(f.boot, tessivar::current_boot_partition(p));
        EXPECT_EQ(f.integrity_failed, tessivar::image_integrity_failed(p));
        EXPECT_EQ(f.part2, tessivar::part2_mem_available_mb(p));
    }
}

TEST_F(TessivarAnalyze, ParallelScanReportsTheFirstFailingFileInOrder) {
    std::vector<std::filesystem::path> files;
    for (int i = 0; i < 40; ++i) {
        files.push_back(dir_ / ("AP_" + std::to_string(i) + ".log"));
        if (i != 17 && i != 30) append_file(files.back(), render_poll(ApPoll{}));
    }
    try {
        tessivar::scan_files(files, 4);
        ADD_FAILURE() << "no error";
    } catch (const std::system_error& e) {
        EXPECT_THAT(e.what(), HasSubstr("AP_17.log"));
    }
}

}  // namespace
