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

#include "apps/tessivar-cli/simulated_logs.hpp"
#include "tessivar/tessivar.hpp"

namespace {

constexpr int kUsageError = 2;

void print_usage(std::ostream& out) {
    out << "usage: tessivar [--json] DIR\n"
           "       tessivar [--json] --simulate\n"
           "  Checks every AP log (*.log) in DIR, appends the status report to DIR and lists\n"
           "  the susceptible APs with their recovery.\n"
           "  --json      print the susceptible APs and the report path as JSON\n"
           "  --simulate  write the logs a flash-check poll of the simulated demo fleet gives\n"
           "              into a fresh folder under the temporary directory and check them\n"
           "  DIR is a controller folder of a poll run (<run>/WLC_<address>) or a run folder.\n"
           "  Example: tessivar --json BASE/data/2026/12/08/RUN1/WLC_10_0_0_1 | jq .\n"
           "  Try it:  tessivar --simulate\n";
}

// Display width of UTF-8 text, one column per character.
std::size_t width(std::string_view s) {
    std::size_t n = 0;
    for (char c : s) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return n;
}

void print_table(const tessivar::AnalysisResult& result, const std::string& dir) {
    const auto& [aps, report] = result;
    if (report.empty()) {
        std::cout << "No log files in " << dir << "; no report written.\n";
        return;
    }
    if (aps.empty()) {
        std::cout << "No susceptible APs.\n";
    } else {
        using Row = std::vector<std::string>;
        std::vector<Row> rows{{"AP NAME", "MODEL", "ADDRESS", "RECOVERY"}};
        for (const auto& ap : aps) rows.push_back({ap.ap_name, ap.ap_model, ap.ap_ip, ap.recovery});
        // The analyser keeps the folder's listing order within a group; the table shows each
        // group's APs by name so that two runs over one folder read the same.
        for (auto group = rows.begin() + 1; group != rows.end();) {
            const auto end = std::find_if(group, rows.end(),
                                          [&](const Row& row) { return row[3] != (*group)[3]; });
            std::stable_sort(group, end, [](const Row& a, const Row& b) { return a[0] < b[0]; });
            group = end;
        }
        std::vector<std::size_t> widths(4, 0);
        for (const Row& row : rows) {
            for (std::size_t c = 0; c < row.size(); ++c)
                widths[c] = std::max(widths[c], width(row[c]));
        }
        std::cout << aps.size() << " susceptible AP" << (aps.size() == 1 ? "" : "s") << ":\n";
        for (const Row& row : rows) {
            std::string line;
            for (std::size_t c = 0; c < row.size(); ++c) {
                line += row[c];
                if (c + 1 < row.size()) line.append(widths[c] - width(row[c]) + 2, ' ');
            }
            std::cout << line << '\n';
        }
    }
    std::cout << "Report: " << report << '\n';
}

void print_json(const tessivar::AnalysisResult& result) {
    nlohmann::json aps = nlohmann::json::array();
    for (const auto& ap : result.first) {
        aps.push_back({{"ap_name", ap.ap_name},
                       {"ap_model", ap.ap_model},
                       {"ap_ip", ap.ap_ip},
                       {"recovery", ap.recovery}});
    }
    const nlohmann::json out = {{"report_path", result.second}, {"susceptible_aps", aps}};
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
    std::optional<std::string> dir;
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
        } else if (arg.size() > 1 && arg[0] == '-') {
            std::cerr << "tessivar: unknown option " << arg << "\n";
            print_usage(std::cerr);
            return kUsageError;
        } else if (dir) {
            std::cerr << "tessivar: only one folder may be given\n";
            print_usage(std::cerr);
            return kUsageError;
        } else {
            dir = std::string(arg);
        }
    }
    if (simulate && dir) {
        std::cerr << "tessivar: give either a folder or --simulate, not both\n";
        return kUsageError;
    }
    if (simulate) {
        try {
            dir = tessivar::cli::write_simulated_logs().string();
        } catch (const std::exception& e) {
            std::cerr << "tessivar: " << e.what() << "\n";
            return 1;
        }
        std::cerr << "tessivar: the simulated fleet's AP logs are in " << *dir << "\n";
    }
    if (!dir) {
        print_usage(std::cerr);
        return kUsageError;
    }
    std::error_code ec;
    if (!std::filesystem::is_directory(*dir, ec)) {
        std::cerr << "tessivar: " << *dir << ": no such folder\n";
        return kUsageError;
    }

    tessivar::AnalysisResult result;
    try {
        DiagnosticsToStderr redirect;
        result = tessivar::analyze_logs(*dir);
    } catch (const std::exception& e) {
        std::cerr << "tessivar: " << e.what() << "\n";
        return 1;
    }
    if (json) {
        print_json(result);
    } else {
        print_table(result, *dir);
    }
    return 0;
}
