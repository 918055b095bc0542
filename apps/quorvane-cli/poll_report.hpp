#pragma once
// One poll run as the programs present it: per-AP lines while it runs, Ctrl-C winding it
// down, the retry file, and what is left to report at the end. `aps poll` and
// `flash-check` share it.

#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "apps/quorvane-cli/poll_console.hpp"
#include "quorvane/quorvane.hpp"

namespace quorvane::cli {

// What a finished AP prints on standard output while the run goes on.
enum class ApLines { text, json, none };

struct PollReport {
    // Copies of the polled rows, with the models their results reported; the engine's
    // workers may still write into the shared rows after a stop.
    std::vector<ApRow> rows;
    std::vector<std::optional<std::string>> statuses;  // per row; none when never polled
    std::vector<std::string> reasons;  // per row: why it did not succeed; empty otherwise
    nlohmann::ordered_json results = nlohmann::ordered_json::array();  // completion order
    int succeeded = 0;
    int failed = 0;  // rows never polled after a stop count here too
    std::size_t done = 0;
    double seconds = 0;
    bool interrupted = false;
    std::string failed_file;  // <run>/failed_aps.json
};

bool is_success_status(const std::string& status);

// Polls the rows. Throws std::runtime_error when the run cannot start (too few open
// files) or ends in an error of its own.
PollReport poll_with_progress(Quorvane& engine, PollConsole& console, const ApRows& rows,
                              const std::string& device, const std::vector<std::string>& cmds,
                              const std::string& mode, ApLines lines);

// {"success":S,"failed":F,"seconds":X,"run_dir":PATH}
nlohmann::ordered_json poll_summary_json(const PollReport& report, const std::string& run_dir);

// The list-order table of every AP with its status and the cause of a failure.
void print_poll_table(const PollReport& report);

// "3 failed: 2 password refused by the device, 1 no answer within 30 s": the APs that did
// not succeed grouped by cause, largest group first, each cause without its detail in
// parentheses; empty when none failed.
std::string failure_summary(const PollReport& report);

// Says on standard error how to retry the failed APs: `command` (such as "quorvane aps
// poll") with --aps and the retry file, then `arguments`, each already quoted for the
// shell. After a simulated run it says that the simulated fleet is gone instead. Also
// says how many APs were done when the run was stopped.
void print_poll_epilogue(const PollReport& report, const std::string& command,
                         const std::string& arguments);

}  // namespace quorvane::cli
