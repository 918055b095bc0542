// tessivar: analyses a folder of AP poll logs for the flash problem and lists the APs that need
// a recovery.
#include <algorithm>
#include <filesystem>
#include <iostream>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "apps/flash-report/csv_report.hpp"
#include "apps/flash-report/flash_check_result.hpp"
#include "apps/flash-report/html_report.hpp"
#include "apps/tessivar-cli/simulated_logs.hpp"
#include "tessivar/log_folder.hpp"
#include "tessivar/tessivar.hpp"

namespace {

namespace fs = std::filesystem;

constexpr int kUsageError = 2;

void print_usage(std::ostream& out) {
    out << "usage: tessivar [--json] [--html PATH] [--csv PATH] DIR...\n"
           "       tessivar [--json] [--html PATH] [--csv PATH] --simulate\n"
           "  Checks every AP log (*.log) in each DIR, appends the status report to that\n"
           "  folder and lists the susceptible APs with their recovery.\n"
           "  --json       print the susceptible APs and the report paths as JSON\n"
           "  --html PATH  also write the result as a self-contained HTML page\n"
           "  --csv PATH   also write it as a CSV file, one row per AP log\n"
           "  --simulate   write the logs a flash-check poll of the simulated demo fleet gives\n"
           "               into a fresh folder under the temporary directory and check them\n"
           "  DIR is a controller folder of a poll run (<run>/WLC_<address>) or a run folder,\n"
           "  whose controller folders are each checked.\n"
           "  Example: tessivar --json BASE/data/2026/12/08/RUN1/WLC_10_0_0_1 | jq .\n"
           "  Try it:  tessivar --simulate --html /tmp/flash.html\n";
}

// The folders to analyse for one DIR: each controller folder of a run folder, and the folder
// itself when it holds logs of its own (APs without a controller address).
std::vector<fs::path> log_folders(const fs::path& dir) {
    std::vector<fs::path> controllers;
    for (const auto& entry : fs::directory_iterator(dir)) {
        std::error_code ec;
        if (entry.is_directory(ec) && entry.path().filename().string().starts_with("WLC_")) {
            controllers.push_back(entry.path());
        }
    }
    std::sort(controllers.begin(), controllers.end());
    if (controllers.empty() || !tessivar::list_logs(dir).empty()) {
        controllers.insert(controllers.begin(), dir);
    }
    return controllers;
}

struct Analysis {
    flash_report::FlashCheckResult result;
    std::vector<fs::path> empty_folders;  // no log, so no report
};

Analysis analyse(const std::vector<fs::path>& folders) {
    Analysis analysis;
    flash_report::RunInfo& run = analysis.result.run;
    run.time = flash_report::local_time_now();
    for (const fs::path& folder : folders) {
        const std::string report = tessivar::analyze_logs(folder).second;
        if (report.empty()) {
            analysis.empty_folders.push_back(folder);
            continue;
        }
        run.folders.push_back(folder.string());
        analysis.result.reports.push_back(report);
        const std::string controller = flash_report::controller_of_folder(folder);
        for (tessivar::ApFacts& facts : tessivar::ap_facts(folder)) {
            flash_report::ApResult ap{facts.name, facts.ip, facts.signature, controller,
                                      {},         {},       std::move(facts)};
            analysis.result.aps.push_back(std::move(ap));
        }
    }
    return analysis;
}

// Display width of UTF-8 text, one column per character.
std::size_t width(std::string_view s) {
    std::size_t n = 0;
    for (char c : s) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return n;
}

void print_rows(const std::vector<std::vector<std::string>>& rows) {
    std::vector<std::size_t> widths(rows.front().size(), 0);
    for (const auto& row : rows) {
        for (std::size_t c = 0; c < row.size(); ++c) widths[c] = std::max(widths[c], width(row[c]));
    }
    for (const auto& row : rows) {
        std::string line;
        for (std::size_t c = 0; c < row.size(); ++c) {
            line += row[c];
            if (c + 1 < row.size()) line.append(widths[c] - width(row[c]) + 2, ' ');
        }
        std::cout << line << '\n';
    }
}

void print_table(const Analysis& analysis) {
    for (const fs::path& folder : analysis.empty_folders) {
        std::cout << "No log files in " << folder.string() << "; no report written.\n";
    }
    const flash_report::FlashCheckResult& result = analysis.result;
    if (result.aps.empty()) return;
    const flash_report::Counts counts = flash_report::count(result);
    const auto susceptible = flash_report::susceptible_aps(result);
    if (!susceptible.empty()) {
        std::vector<std::vector<std::string>> rows{{"AP NAME", "MODEL", "ADDRESS", "RECOVERY"}};
        for (const auto* ap : susceptible) {
            rows.push_back(
                {ap->name, ap->facts->model_text, ap->address,
                 std::string(tessivar::recovery_group_text(*ap->facts->group).recovery)});
        }
        std::cout << susceptible.size() << " susceptible AP" << (susceptible.size() == 1 ? "" : "s")
                  << ":\n";
        print_rows(rows);
    } else if (counts.healthy > 0) {
        std::cout << "No susceptible APs.\n";
    }
    const auto undecided = flash_report::aps_with(result, flash_report::Outcome::undecided);
    if (!undecided.empty()) {
        std::cout << "Nothing could be decided for " << undecided.size() << " of the "
                  << result.aps.size() << " APs: their logs lack the outputs the checks need:\n";
        std::vector<std::vector<std::string>> rows{{"AP NAME", "ADDRESS", "MISSING FROM THE LOG"}};
        for (const auto* ap : undecided) {
            std::string missing;
            for (const auto& m : ap->facts->missing) missing += (missing.empty() ? "" : ", ") + m;
            rows.push_back({ap->name, ap->address, missing});
        }
        print_rows(rows);
    }
    for (const std::string& report : result.reports) std::cout << "Report: " << report << '\n';
}

void print_json(const Analysis& analysis, const std::string& html, const std::string& csv) {
    const flash_report::FlashCheckResult& result = analysis.result;
    nlohmann::json aps = nlohmann::json::array();
    for (const auto* ap : flash_report::susceptible_aps(result)) {
        aps.push_back({{"ap_name", ap->name},
                       {"ap_model", ap->facts->model_text},
                       {"ap_ip", ap->address},
                       {"recovery", tessivar::recovery_group_text(*ap->facts->group).recovery}});
    }
    nlohmann::json undecided = nlohmann::json::array();
    for (const auto* ap : flash_report::aps_with(result, flash_report::Outcome::undecided)) {
        undecided.push_back(
            {{"ap_name", ap->name}, {"ap_ip", ap->address}, {"missing", ap->facts->missing}});
    }
    const auto optional_path = [](const std::string& path) {
        return path.empty() ? nlohmann::json() : nlohmann::json(path);
    };
    const nlohmann::json out = {
        {"report_path", result.reports.empty() ? std::string() : result.reports.front()},
        {"report_paths", result.reports},
        {"logs", result.aps.size()},
        {"susceptible_aps", aps},
        {"undecided_aps", undecided},
        {"html", optional_path(html)},
        {"csv", optional_path(csv)}};
    // File names may carry bytes that are not UTF-8; replace them rather than fail.
    std::cout << out.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
}

// The analyser prints its diagnostic lines on standard output; the program keeps standard
// output for its own result (so that --json stays parseable) and shows them on standard error.
class DiagnosticsToStderr {
  public:
    DiagnosticsToStderr() : saved_(std::cout.rdbuf(std::cerr.rdbuf())) {}
    ~DiagnosticsToStderr() { std::cout.rdbuf(saved_); }
    DiagnosticsToStderr(const DiagnosticsToStderr&) = delete;
    DiagnosticsToStderr& operator=(const DiagnosticsToStderr&) = delete;

  private:
    std::streambuf* saved_;
};

}  // namespace

int main(int argc, char** argv) {
    bool json = false;
    bool simulate = false;
    std::string html;
    std::string csv;
    std::vector<std::string> dirs;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "-h" || arg == "--help") {
            print_usage(std::cout);
            return 0;
        }
        if (arg == "--json") {
            json = true;
        } else if (arg == "--simulate") {
            simulate = true;
        } else if (arg == "--html" || arg == "--csv") {
            if (i + 1 == argc) {
                std::cerr << "tessivar: " << arg << " needs a file name\n";
                return kUsageError;
            }
            (arg == "--html" ? html : csv) = argv[++i];
        } else if (arg.size() > 1 && arg[0] == '-') {
            std::cerr << "tessivar: unknown option " << arg << "\n";
            print_usage(std::cerr);
            return kUsageError;
        } else {
            dirs.emplace_back(arg);
        }
    }
    if (simulate && !dirs.empty()) {
        std::cerr << "tessivar: give either folders or --simulate, not both\n";
        return kUsageError;
    }
    if (simulate) {
        try {
            dirs.push_back(tessivar::cli::write_simulated_logs().string());
        } catch (const std::exception& e) {
            std::cerr << "tessivar: " << e.what() << "\n";
            return 1;
        }
        std::cerr << "tessivar: the simulated fleet's AP logs are in " << dirs.back() << "\n";
    }
    if (dirs.empty()) {
        print_usage(std::cerr);
        return kUsageError;
    }
    for (const std::string& dir : dirs) {
        std::error_code ec;
        if (!fs::is_directory(dir, ec)) {
            std::cerr << "tessivar: " << dir << ": no such folder\n";
            return kUsageError;
        }
    }

    Analysis analysis;
    try {
        DiagnosticsToStderr redirect;
        std::vector<fs::path> folders;
        for (const std::string& dir : dirs) {
            for (fs::path& folder : log_folders(dir)) folders.push_back(std::move(folder));
        }
        analysis = analyse(folders);
        if (!html.empty()) {
            flash_report::write_whole_file(html, flash_report::html_page(analysis.result, html));
        }
        if (!csv.empty())
            flash_report::write_whole_file(csv, flash_report::csv_text(analysis.result));
    } catch (const std::exception& e) {
        std::cerr << "tessivar: " << e.what() << "\n";
        return 1;
    }
    if (json) {
        print_json(analysis, html, csv);
    } else {
        print_table(analysis);
        if (!html.empty()) std::cout << "Page: " << html << '\n';
        if (!csv.empty()) std::cout << "CSV: " << csv << '\n';
    }
    return 0;
}
