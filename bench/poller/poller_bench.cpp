// Poll runs against the simulator running as its own process, so that the figures are
// the poller's own:
//   delay  1000 APs, every device answer delayed 50 ms, 5 commands per AP: wall time
//          against the device-bound ideal, and each AP's time beyond its device time
//          (median, p99)
//   scale  5000 APs without delay: completion, peak RSS with 500 sessions open at once
//          (each AP's list ends with a 1 s pause so that the sessions pile up)
// Run through tests/isolated.sh (the engine writes below its base directory):
//   tests/isolated.sh build/default/bench/poller/poller_bench [delay|scale]

#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "fleetsim/fleet.hpp"
#include "quorvane/quorvane.hpp"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

constexpr int kDelayMs = 50;
// Login, enable, paging off, two identification commands and the five commands.
constexpr int kDeviceAnswersPerAp = 10;
const std::vector<std::string> kCommands = {"show clock", "show boot", "show flash",
                                            "show filesystems", "show image integrity"};

// The simulator as a child process, stopped with SIGTERM when this goes away.
class FleetProcess {
  public:
    FleetProcess(const fleetsim::Fleet& fleet, const fs::path& folder) {
        const fs::path file = folder / "bench-fleet.json";
        fleetsim::save_fleet(fleet, file);
        int out[2];
        if (pipe(out) != 0) throw std::runtime_error("pipe failed");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        std::vector<std::string> args = {FLEETSIM_PATH, "--fleet",     file.string(),
                                         "--port",      "0",           "--max-seconds",
                                         "1800",        "--state-dir", (folder / "sim").string()};
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, FLEETSIM_PATH, &actions, nullptr, argv.data(), environ) != 0) {
            throw std::runtime_error("cannot start fleetsim");
        }
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        std::string line;
        char c;
        while (read(out[0], &c, 1) == 1 && c != '\n') line += c;
        close(out[0]);
        const auto at = line.rfind("port ");
        if (at == std::string::npos) throw std::runtime_error("fleetsim said: " + line);
        port_ = std::stoi(line.substr(at + 5));
    }
    ~FleetProcess() {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
    int port() const { return port_; }

  private:
    pid_t pid_ = -1;
    int port_ = 0;
};

fleetsim::Fleet fleet_of(int aps, int delay_ms) {
    fleetsim::Fleet fleet = fleetsim::default_fleet(aps);
    for (auto& d : fleet.devices) {
        if (d.kind != fleetsim::DeviceKind::access_point) continue;
        d.faults = fleetsim::Faults{};
        d.faults.delay_ms = delay_ms;
        d.transfer_ms = 0;
    }
    return fleet;
}

quorvane::ApRows rows_of(const fleetsim::Fleet& fleet) {
    quorvane::ApRows rows;
    for (const auto& d : fleet.devices) {
        if (d.kind == fleetsim::DeviceKind::access_point) {
            rows.push_back(quorvane::make_ap_row(d.address, d.model, d.hostname, "", d.controller));
        }
    }
    return rows;
}

// Forwards to the real session and notes when the poll let go of it and how many are
// open at once.
class CountedSession : public quorvane::DeviceSession {
  public:
    CountedSession(quorvane::DeviceSessionPtr inner, std::atomic<int>& open, std::atomic<int>& peak,
                   std::function<void()> on_end)
        : inner_(std::move(inner)), open_(open), on_end_(std::move(on_end)) {
        const int now = ++open_;
        int seen = peak.load();
        while (now > seen && !peak.compare_exchange_weak(seen, now)) {
        }
    }
    ~CountedSession() override { end(); }
    void enable() override { inner_->enable(); }
    std::string send_command(const std::string& c, std::optional<double> t) override {
        return inner_->send_command(c, t);
    }
    std::string send_command_timing(const std::string& c, std::optional<double> t) override {
        return inner_->send_command_timing(c, t);
    }
    void write_channel(const std::string& t) override { inner_->write_channel(t); }
    std::string read_channel() override { return inner_->read_channel(); }
    std::string base_prompt() const override { return inner_->base_prompt(); }
    void disconnect() override {
        inner_->disconnect();
        end();
    }
    void close() override {
        inner_->close();
        end();
    }

  private:
    void end() {
        if (ended_.exchange(true)) return;
        --open_;
        on_end_();
    }
    quorvane::DeviceSessionPtr inner_;
    std::atomic<int>& open_;
    std::function<void()> on_end_;
    std::atomic<bool> ended_{false};
};

struct RunFigures {
    double seconds = 0;
    int success = 0, failed = 0;
    int peak_sessions = 0;
    std::vector<double> per_ap_seconds;
};

RunFigures poll(const fleetsim::Fleet& fleet, int port,
                const std::vector<std::string>& cmds = kCommands) {
    const quorvane::ApRows rows = rows_of(fleet);
    std::atomic<int> open{0}, peak{0};
    std::mutex mutex;
    std::map<std::string, Clock::time_point> started;
    std::vector<double> per_ap;

    quorvane::EngineOptions options;
    options.ssh_port = port;
    options.connect = [&](const quorvane::DeviceParams& params) -> quorvane::DeviceSessionPtr {
        auto inner = quorvane::ssh_connect(params);
        const std::string host = params.host;
        return std::make_shared<CountedSession>(inner, open, peak, [&, host] {
            const auto now = Clock::now();
            std::lock_guard lock(mutex);
            per_ap.push_back(std::chrono::duration<double>(now - started[host]).count());
        });
    };
    const std::string marker = "[AP] (";
    quorvane::Quorvane engine(options, [&](const std::string& line) {
        if (line.rfind(marker, 0) != 0) return;
        const auto from = line.find(" Connecting ") + 12;
        const std::string host = line.substr(from, line.find(' ', from) - from);
        std::lock_guard lock(mutex);
        started[host] = Clock::now();
    });
    engine.ini.bulk_set("AP",
                        {{"ap_user", "apadmin"}, {"ap_pasw", "appass"}, {"ap_enable", "apenable"}});

    const auto start = Clock::now();
    const auto [ok, failed] = engine.run_ap_poller(rows, "AP", cmds);
    RunFigures figures;
    figures.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    figures.success = ok;
    figures.failed = failed;
    figures.peak_sessions = peak.load();
    std::lock_guard lock(mutex);
    figures.per_ap_seconds = per_ap;
    return figures;
}

// CPU seconds (user + system) of this process so far.
double cpu_seconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double percentile(std::vector<double> values, double p) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const auto at = static_cast<std::size_t>(std::ceil(p * static_cast<double>(values.size()))) - 1;
    return values[std::min(at, values.size() - 1)];
}

long peak_rss_kib() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
    }
    return -1;
}

void delay_benchmark(const fs::path& folder) {
    constexpr int kAps = 1000;
    const fleetsim::Fleet fleet = fleet_of(kAps, kDelayMs);
    FleetProcess sim(fleet, folder);
    const int workers = quorvane::compute_max_workers(kAps);
    const double device_seconds = kDeviceAnswersPerAp * kDelayMs / 1000.0;
    const double ideal = std::ceil(static_cast<double>(kAps) / workers) * device_seconds;
    fleetsim::Fleet single = fleet;
    std::erase_if(single.devices, [&](const fleetsim::Device& d) {
        return d.kind == fleetsim::DeviceKind::access_point && d.address != "127.20.0.1";
    });
    const RunFigures alone = poll(single, sim.port());
    const double cpu_before = cpu_seconds();
    const RunFigures f = poll(fleet, sim.port());
    const double cpu = cpu_seconds() - cpu_before;
    std::vector<double> overhead_ms;
    for (double s : f.per_ap_seconds) overhead_ms.push_back((s - device_seconds) * 1000);
    std::printf("delay: %d APs, %d workers, %d ms per answer, %zu commands per AP\n", kAps, workers,
                kDelayMs, kCommands.size());
    std::printf("  success %d, failed %d, wall %.2f s, ideal %.2f s, ratio %.3f (target <= 1.15)\n",
                f.success, f.failed, f.seconds, ideal, f.seconds / ideal);
    std::printf("  one AP polled alone: %.0f ms; poller CPU %.2f s (%.1f ms per AP)\n",
                alone.per_ap_seconds.at(0) * 1000, cpu, cpu * 1000 / kAps);
    std::printf("  per-AP time beyond its %.0f ms of device time: median %.1f ms, p99 %.1f ms\n",
                device_seconds * 1000, percentile(overhead_ms, 0.5), percentile(overhead_ms, 0.99));
}

void scale_benchmark(const fs::path& folder) {
    constexpr int kAps = 5000;
    const fleetsim::Fleet fleet = fleet_of(kAps, 0);
    FleetProcess sim(fleet, folder);
    // A closing pause keeps each session open long enough for the pool to hold all of
    // its sessions at once.
    std::vector<std::string> cmds = kCommands;
    cmds.push_back("sleep_1");
    const RunFigures f = poll(fleet, sim.port(), cmds);
    std::printf("scale: %d APs, %d workers, no delay, %zu commands and a 1 s pause per AP\n", kAps,
                quorvane::compute_max_workers(kAps), kCommands.size());
    std::printf("  success %d, failed %d, wall %.1f s, peak sessions at once %d\n", f.success,
                f.failed, f.seconds, f.peak_sessions);
    std::printf("  peak RSS %.1f MB (target <= 300), poller CPU %.1f s\n", peak_rss_kib() / 1024.0,
                cpu_seconds());
}

}  // namespace

int main(int argc, char** argv) {
    if (std::getenv("QUORVANE_BASE_DIR") == nullptr) {
        std::cerr << "set QUORVANE_BASE_DIR to a scratch folder (or run through "
                     "tests/isolated.sh): the poll writes its log files below it\n";
        return 2;
    }
    quorvane::raise_open_files_limit();
    const std::string which = argc > 1 ? argv[1] : "all";
    const fs::path folder = quorvane::BASE_DIR;
    if (which == "delay" || which == "all") delay_benchmark(folder);
    if (which == "scale" || which == "all") scale_benchmark(folder);
    return 0;
}
