#include "quorvane/engine/engine.hpp"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <limits>
#include <stdexcept>

#include "quorvane/engine/ssh/ssh_connect.hpp"
#include "quorvane/engine/stdout_lines.hpp"

namespace quorvane {

Quorvane::Quorvane(LogCallback log_cb, ProgressCallback progress_cb, ApUpdateCallback ap_update_cb)
    : Quorvane(EngineOptions{}, std::move(log_cb), std::move(progress_cb),
               std::move(ap_update_cb)) {}

Quorvane::Quorvane(EngineOptions options, LogCallback log_cb, ProgressCallback progress_cb,
                   ApUpdateCallback ap_update_cb)
    : Quorvane(allocate_run_folder(), std::move(options), std::move(log_cb), std::move(progress_cb),
               std::move(ap_update_cb)) {}

Quorvane::Quorvane(RunFolder folder, EngineOptions opts, LogCallback log_cb_arg,
                   ProgressCallback progress_cb_arg, ApUpdateCallback ap_update_cb_arg)
    : options(std::move(opts)),
      run_id(std::move(folder.run_id)),
      data_dir(std::move(folder.data_dir)),
      ini((std::filesystem::path(CONFD) / "config.ini").string()),
      _collect_counter_key("CRONJOB", "collect_archive_wnccore_count"),
      log_cb(std::move(log_cb_arg)),
      progress_cb(std::move(progress_cb_arg)),
      ap_update_cb(std::move(ap_update_cb_arg)) {
    if (!options.clock) options.clock = system_clock();
    _log("[ENGINE] Using data directory: " + data_dir);
    success = 0;
    failed = 0;
    operation = "WLC & AP";
    workflow = "";
    print_diagnostic_line("DEBUG DATA DIR: " + data_dir);
    print_diagnostic_line("DEBUG BASE DIR: " + BASE_DIR);
}

Quorvane::~Quorvane() {
    shutdown();
    closing_.set();
    try {
        if (auto pool = executor.get()) pool->shutdown(true);
    } catch (...) {
    }
    for (const auto& pool : pools_left_running_) {
        try {
            pool->shutdown(true);
        } catch (...) {
        }
    }
}

void Quorvane::_log(const std::string& msg) {
    if (log_cb) {
        log_cb(msg);
    } else {
        print_stdout_line(msg);
    }
}

void Quorvane::_progress(int pct) {
    if (progress_cb) progress_cb(pct);
}

void Quorvane::_progress(double pct) {
    if (!std::isfinite(pct)) throw std::invalid_argument("progress must be a finite number");
    constexpr double lo = std::numeric_limits<int>::min();
    constexpr double hi = std::numeric_limits<int>::max();
    _progress(static_cast<int>(std::trunc(std::clamp(pct, lo, hi))));
}

void Quorvane::shutdown() noexcept {
    try {
        _shutdown_event.store(true);
    } catch (...) {
    }
    stop_wake_.set();
    try {
        if (auto pool = executor.get()) pool->shutdown(false);
    } catch (...) {
    }
    try {
        for (const auto& session : _open_sessions.sweep()) {
            if (session) end_session(*session);
        }
    } catch (...) {
    }
}

DeviceSessionPtr Quorvane::connect_device(const DeviceParams& params) const {
    return options.connect ? options.connect(params) : ssh_connect(params);
}

bool Quorvane::probe_port(const std::string& ip, double timeout) const {
    return options.port_probe ? options.port_probe(ip, options.ssh_port, timeout)
                              : ssh_port_open(ip, options.ssh_port, timeout);
}

void Quorvane::sleep_seconds(double seconds) const {
    options.clock->sleep_unless_stopped(
        std::chrono::milliseconds(static_cast<long long>(std::llround(seconds * 1000))), closing_);
}

double Quorvane::ap_wait(double seconds) const {
    return options.ap_read_timeout_cap ? std::min(seconds, *options.ap_read_timeout_cap) : seconds;
}

bool Quorvane::sleep_unless_stopped(double seconds) const {
    return options.clock->sleep_unless_stopped(
        std::chrono::milliseconds(static_cast<long long>(std::llround(seconds * 1000))),
        stop_wake_);
}

std::string Quorvane::port_text() const { return "port " + std::to_string(options.ssh_port); }

}  // namespace quorvane
