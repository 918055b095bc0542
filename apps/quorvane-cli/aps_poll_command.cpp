// aps poll: run a command list on every selected AP in parallel, one log file per AP.

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <mutex>
#include <thread>

#include "apps/quorvane-cli/ap_selection.hpp"
#include "apps/quorvane-cli/cli.hpp"
#include "apps/quorvane-cli/interrupt.hpp"
#include "quorvane/paths/utf8.hpp"

namespace quorvane::cli {

namespace {

constexpr const char* kImageDownloadMode = "AP Image Download";
constexpr const char* kCustomMode = "AP Custom Cmd List";

struct PollOptions {
    std::optional<std::string> aps_file;
    ApSelection selection;
    bool selection_given = false;
    std::vector<std::string> cmds;
    bool image_download = false;
    std::string device = "AP";
    bool json = false;
};

PollOptions parse_poll_options(const std::vector<std::string>& args) {
    PollOptions o;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const auto value = [&](const char* name) {
            if (i + 1 == args.size()) throw UsageError{std::string(name) + " needs a value"};
            return args[++i];
        };
        if (arg == "--aps") {
            o.aps_file = value("--aps");
        } else if (arg == "--cmds") {
            const auto from_file = read_command_file(value("--cmds"));
            o.cmds.insert(o.cmds.end(), from_file.begin(), from_file.end());
        } else if (arg == "--image-download") {
            o.image_download = true;
        } else if (arg == "--device") {
            o.device = value("--device");
            if (o.device.empty()) throw UsageError{"--device needs a prefix such as AP"};
        } else if (arg == "--json") {
            o.json = true;
        } else if (take_selection_option(args, i, o.selection)) {
            o.selection_given = true;
        } else if (arg.rfind("--", 0) == 0) {
            throw UsageError{"unknown option " + arg + " for aps poll"};
        } else {
            o.cmds.push_back(arg);
        }
    }
    if (o.aps_file && o.selection_given) {
        throw UsageError{
            "--aps takes the APs from its file; leave out --section, "
            "--flash-checker, --site-tag and --model-group"};
    }
    return o;
}

bool is_success(const std::string& status) {
    std::string head = status.substr(0, 7);
    std::transform(head.begin(), head.end(), head.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return head == "success";
}

std::string duration_text(double seconds) {
    const long s = static_cast<long>(seconds);
    char buf[32];
    if (s >= 3600) {
        std::snprintf(buf, sizeof buf, "%ldh%02ldm%02lds", s / 3600, s / 60 % 60, s % 60);
    } else if (s >= 60) {
        std::snprintf(buf, sizeof buf, "%ldm%02lds", s / 60, s % 60);
    } else {
        std::snprintf(buf, sizeof buf, "%lds", s);
    }
    return buf;
}

// Keys in the order the lines are documented in.
std::string json_text(const nlohmann::ordered_json& value) {
    return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

// What the terminal shows while the run goes on: log lines and finished APs scroll above
// one progress line on standard error, redrawn every second. Without a terminal there is
// no progress line and lines are simply written.
class Screen {
  public:
    Screen(std::size_t total, bool live)
        : total_(total), live_(live), started_(std::chrono::steady_clock::now()) {
        if (live_) ticker_ = std::thread([this] { tick(); });
    }
    ~Screen() {
        {
            std::lock_guard lock(mutex_);
            closing_ = true;
        }
        tick_.notify_all();
        if (ticker_.joinable()) ticker_.join();
        std::lock_guard lock(mutex_);
        clear_progress();
    }

    void log(const std::string& line) { write(stderr, line); }
    void out(const std::string& line) { write(stdout, line); }
    void finished(bool ok) {
        std::lock_guard lock(mutex_);
        ++(ok ? succeeded_ : failed_);
        draw_progress();
    }
    std::size_t done() const {
        std::lock_guard lock(mutex_);
        return succeeded_ + failed_;
    }
    double seconds() const {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
    }

  private:
    void write(FILE* stream, const std::string& line) {
        std::lock_guard lock(mutex_);
        clear_progress();
        const std::string text = line + "\n";
        std::fwrite(text.data(), 1, text.size(), stream);
        std::fflush(stream);
        draw_progress();
    }
    void clear_progress() {
        if (!live_ || !drawn_) return;
        std::fputs("\r\033[K", stderr);
        std::fflush(stderr);
        drawn_ = false;
    }
    void draw_progress() {
        if (!live_ || closing_) return;
        const std::size_t done = succeeded_ + failed_;
        const double elapsed = seconds();
        std::string text = "\r\033[K[" + std::to_string(done) + "/" + std::to_string(total_) +
                           "] ok " + std::to_string(succeeded_) + ", failed " +
                           std::to_string(failed_) + ", " + duration_text(elapsed);
        if (done > 0 && done < total_) {
            text += ", about " +
                    duration_text(elapsed / static_cast<double>(done) *
                                  static_cast<double>(total_ - done)) +
                    " left";
        }
        std::fputs(text.c_str(), stderr);
        std::fflush(stderr);
        drawn_ = true;
    }
    void tick() {
        std::unique_lock lock(mutex_);
        while (!closing_) {
            draw_progress();
            tick_.wait_for(lock, std::chrono::seconds(1));
        }
    }

    const std::size_t total_;
    const bool live_;
    const std::chrono::steady_clock::time_point started_;
    mutable std::mutex mutex_;
    std::condition_variable tick_;
    std::thread ticker_;
    std::size_t succeeded_ = 0;
    std::size_t failed_ = 0;
    bool drawn_ = false;
    bool closing_ = false;
};

void print_final_table(const std::vector<ApRow>& rows,
                       const std::vector<std::optional<std::string>>& statuses) {
    const std::vector<std::string> headings = {"#", "Name", "IP", "Model", "Status"};
    std::vector<std::vector<std::string>> cells;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        cells.push_back({std::to_string(i), rows[i].name, rows[i].ip, rows[i].model,
                         statuses[i].value_or("Not polled")});
    }
    std::vector<std::size_t> widths;
    for (const auto& heading : headings) widths.push_back(heading.size());
    for (const auto& line : cells) {
        for (std::size_t c = 0; c < line.size(); ++c) {
            widths[c] = std::max(widths[c], utf8_length(drop_invalid_utf8(line[c])));
        }
    }
    const auto print_line = [&](const std::vector<std::string>& line) {
        std::string text;
        for (std::size_t c = 0; c < line.size(); ++c) {
            const std::string cell = drop_invalid_utf8(line[c]);
            text += cell;
            if (c + 1 < line.size()) text += std::string(widths[c] - utf8_length(cell) + 2, ' ');
        }
        std::cout << text << "\n";
    };
    print_line(headings);
    for (const auto& line : cells) print_line(line);
}

}  // namespace

int run_aps_poll(const CommonOptions& common, const std::vector<std::string>& args) {
    const PollOptions o = parse_poll_options(args);
    ApRows rows;
    if (o.aps_file) rows = read_ap_rows_file(*o.aps_file);

    const bool live = ::isatty(STDERR_FILENO) == 1;
    std::unique_ptr<Screen> screen;
    std::mutex early_mutex;
    const auto log_line = [&](const std::string& line) {
        if (screen) {
            screen->log(line);
        } else {
            std::lock_guard lock(early_mutex);
            std::cerr << line << "\n";
        }
    };

    EngineOptions options;
    options.ssh_port = common.ssh_port;
    Quorvane engine(options, log_line);
    if (!o.aps_file) {
        if (engine._get_wlc_sections().empty()) {
            std::cerr << "quorvane: no controller configured: set one with 'quorvane config set "
                         "WLC wlc_ip ADDRESS' (and wlc_user, wlc_pasw), or edit "
                      << engine.ini.path << "\n";
            return kExitFailed;
        }
        try {
            rows = fetch_selected_aps(engine, o.selection).rows;
        } catch (const std::exception& e) {
            std::cerr << "quorvane: " << e.what() << "\n";
            return kExitFailed;
        }
        engine.write_filtered_ap_list(rows);
    }
    if (rows.empty()) {
        std::cerr << "quorvane: no AP selected, nothing to poll\n";
        return kExitFailed;
    }
    if (const std::string problem =
            check_descriptor_budget(compute_max_workers(static_cast<long long>(rows.size())));
        !problem.empty()) {
        std::cerr << "quorvane: " << problem << "\n";
        return kExitFailed;
    }

    // The engine's workers may still write `model` into the shared rows after a stop, so
    // the report works on copies taken now and on what the results say.
    std::vector<ApRow> report_rows;
    for (const auto& row : rows) report_rows.push_back(*row);
    std::vector<std::optional<std::string>> statuses(rows.size());

    screen = std::make_unique<Screen>(rows.size(), live);
    engine.ap_update_cb = [&](int index, const std::string& ip, const std::string& model,
                              const std::string& status, const std::string& name,
                              const std::string& wlc_ip) {
        if (index < 0 || static_cast<std::size_t>(index) >= rows.size()) return;
        ApRow& row = report_rows[index];
        row.model = model;
        statuses[index] = status;
        const std::string log_path = ap_log_path(engine.data_dir, o.device, row);
        const bool has_log = std::filesystem::exists(log_path);
        if (o.json) {
            screen->out(json_text(
                {{"index", index},
                 {"ip", ip},
                 {"model", model},
                 {"status", status},
                 {"name", name},
                 {"wlc_ip", wlc_ip},
                 {"log", has_log ? nlohmann::ordered_json(log_path) : nlohmann::ordered_json()}}));
        } else {
            screen->out("[" + std::to_string(index) + "] " + ip + " " + name + ": " + status);
        }
        screen->finished(is_success(status));
    };

    const std::string mode = o.image_download ? kImageDownloadMode : kCustomMode;
    bool interrupted = false;
    {
        InterruptHandler interrupt([&engine] { engine.shutdown(); });
        try {
            engine.run_ap_poller(rows, o.device, o.cmds, mode);
        } catch (const std::exception& e) {
            screen.reset();
            std::cerr << "quorvane: the poll stopped: " << e.what() << "\n";
            return kExitFailed;
        }
        interrupted = interrupt.interrupted();
    }
    const std::size_t done = screen->done();
    const double seconds = screen->seconds();
    screen.reset();

    ApRows failed_rows;
    int succeeded = 0;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (statuses[i] && is_success(*statuses[i])) {
            ++succeeded;
        } else {
            failed_rows.push_back(std::make_shared<ApRow>(report_rows[i]));
        }
    }
    const std::string failed_file =
        (std::filesystem::path(engine.data_dir) / "failed_aps.json").string();
    _safe_write_append(failed_file,
                       nlohmann::json({{"aps", ap_rows_json(failed_rows)},
                                       {"total", nullptr},
                                       {"list_file", nullptr},
                                       {"run_dir", engine.data_dir}})
                               .dump(2, ' ', false, nlohmann::json::error_handler_t::replace) +
                           "\n");

    const int failed = static_cast<int>(failed_rows.size());
    if (o.json) {
        std::cout << json_text(nlohmann::ordered_json{{"summary",
                                                       {{"success", succeeded},
                                                        {"failed", failed},
                                                        {"seconds", std::round(seconds * 10) / 10},
                                                        {"run_dir", engine.data_dir}}}})
                  << std::endl;
    } else {
        print_final_table(report_rows, statuses);
        std::cout << succeeded << " of " << rows.size() << " APs succeeded in "
                  << duration_text(seconds) << "; logs under " << engine.data_dir << "\n";
    }
    if (failed > 0) {
        std::cerr << "quorvane: " << failed << " AP(s) did not succeed; retry exactly those with:\n"
                  << "  quorvane aps poll --aps " << failed_file << " [the same commands]\n";
    }
    if (interrupted) {
        std::cerr << "quorvane: stopped by Ctrl-C after " << done << " of " << rows.size()
                  << " APs\n";
        return kExitInterrupted;
    }
    return failed > 0 ? kExitFailed : kExitOk;
}

}  // namespace quorvane::cli
