// Session layer at scale, against the simulator running as its own process (so that its
// CPU and memory stay out of the figures):
// 1. many sessions waiting at once on a slow answer: the process CPU over the wait;
// 2. descriptors and resident memory while many sessions are open, after disconnect()
//    with the objects still held, and after they are destroyed.
//
//     session_scale_bench [--fleetsim PATH | --in-process] [--waiting N] [--delay-ms MS]
//                         [--cycled N]

#include <malloc.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <latch>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "fleetsim/simulator.hpp"
#include "quorvane/engine/ssh/descriptor_budget.hpp"
#include "quorvane/engine/ssh/ssh_connect.hpp"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr const char* kAp = "127.20.0.1";
constexpr const char* kSlowAp = "127.23.0.1";
constexpr int kConnectThreads = 16;

struct Options {
    std::string fleetsim = QUORVANE_FLEETSIM_PATH;  // empty: the simulator runs in-process
    int waiting = 500;
    int delay_ms = 3000;
    int cycled = 1000;
};

Options parse_options(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const auto value = [&] {
            if (i + 1 == argc) throw std::invalid_argument(a + " needs a value");
            return std::string(argv[++i]);
        };
        if (a == "--fleetsim") {
            o.fleetsim = value();
        } else if (a == "--in-process") {
            o.fleetsim.clear();
        } else if (a == "--waiting") {
            o.waiting = std::stoi(value());
        } else if (a == "--delay-ms") {
            o.delay_ms = std::stoi(value());
        } else if (a == "--cycled") {
            o.cycled = std::stoi(value());
        } else {
            throw std::invalid_argument("unknown option " + a);
        }
    }
    return o;
}

fleetsim::Fleet bench_fleet(int delay_ms) {
    fleetsim::Fleet fleet = fleetsim::default_fleet(1);
    fleetsim::Device slow = fleet.devices.back();
    slow.address = kSlowAp;
    slow.hostname = "AP-SLOW";
    slow.faults.delay_ms = delay_ms;
    fleet.devices.push_back(slow);
    return fleet;
}

// The simulator as a child process; stopped by its pid when the benchmark ends.
class ExternalSimulator {
  public:
    ExternalSimulator(const std::string& program, const fleetsim::Fleet& fleet)
        : dir_(fs::temp_directory_path() / ("session-scale-bench-" + std::to_string(::getpid()))) {
        fs::create_directories(dir_);
        fleetsim::save_fleet(fleet, dir_ / "fleet.json");
        int out[2];
        if (::pipe(out) != 0) throw std::runtime_error("pipe failed");
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(out[1], STDOUT_FILENO);
            ::close(out[0]);
            ::close(out[1]);
            const std::string fleet_file = (dir_ / "fleet.json").string();
            const std::string state_dir = (dir_ / "state").string();
            ::execl(program.c_str(), program.c_str(), "--fleet", fleet_file.c_str(), "--port", "0",
                    "--state-dir", state_dir.c_str(), "--max-seconds", "900",
                    static_cast<char*>(nullptr));
            std::perror("exec fleetsim");
            ::_exit(127);
        }
        ::close(out[1]);
        port_ = read_port(out[0]);
        ::close(out[0]);
    }
    ~ExternalSimulator() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    ExternalSimulator(const ExternalSimulator&) = delete;
    ExternalSimulator& operator=(const ExternalSimulator&) = delete;

    int port() const { return port_; }

  private:
    // "fleetsim: N devices listening on port P", within a bounded wait.
    static int read_port(int fd) {
        std::string text;
        const auto give_up = Clock::now() + std::chrono::seconds(60);
        while (text.find('\n') == std::string::npos && Clock::now() < give_up) {
            pollfd pfd{fd, POLLIN, 0};
            if (::poll(&pfd, 1, 1000) <= 0) continue;
            char buffer[256];
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n <= 0) break;
            text.append(buffer, static_cast<std::size_t>(n));
        }
        const auto at = text.find("on port ");
        if (at == std::string::npos) throw std::runtime_error("fleetsim did not start: " + text);
        return std::stoi(text.substr(at + 8));
    }

    fs::path dir_;
    pid_t pid_ = -1;
    int port_ = 0;
};

quorvane::DeviceParams ap_params(const char* address, int port) {
    quorvane::DeviceParams p;
    p.host = address;
    p.port = port;
    p.username = "apadmin";
    p.password = "appass";
    p.secret = "apenable";
    p.conn_timeout = p.banner_timeout = p.auth_timeout = 120;
    return p;
}

double cpu_seconds() {
    rusage use{};
    ::getrusage(RUSAGE_SELF, &use);
    const auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    return seconds(use.ru_utime) + seconds(use.ru_stime);
}

long open_descriptors() {
    const auto entries = fs::directory_iterator("/proc/self/fd");
    return static_cast<long>(std::distance(begin(entries), end(entries))) - 1;
}

double rss_mb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
    }
    return 0;
}

double seconds_since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void waiting_sessions(const Options& o, int port) {
    std::vector<quorvane::DeviceSessionPtr> sessions(static_cast<std::size_t>(o.waiting));
    std::latch connected(o.waiting);
    std::latch go(1);
    std::latch finished(o.waiting);
    std::atomic<int> failures{0};
    std::atomic<int> answered{0};
    std::vector<std::thread> threads;
    const auto login_start = Clock::now();
    for (int i = 0; i < o.waiting; ++i) {
        threads.emplace_back([&, i] {
            auto& session = sessions[static_cast<std::size_t>(i)];
            try {
                session = quorvane::ssh_connect(ap_params(kSlowAp, port));
            } catch (const std::exception& e) {
                if (failures++ == 0) std::fprintf(stderr, "login failed: %s\n", e.what());
            }
            connected.count_down();
            go.wait();
            try {
                if (session &&
                    session->send_command("show clock", 60).find("UTC") != std::string::npos) {
                    ++answered;
                }
            } catch (const std::exception& e) {
                if (failures++ == 0) std::fprintf(stderr, "command failed: %s\n", e.what());
            }
            finished.count_down();
        });
    }
    connected.wait();
    const double login_seconds = seconds_since(login_start);
    const double cpu_before = cpu_seconds();
    const auto start = Clock::now();
    go.count_down();
    finished.wait();
    const double wall = seconds_since(start);
    const double cpu = cpu_seconds() - cpu_before;
    for (auto& t : threads) t.join();
    for (auto& s : sessions) {
        if (s) s->disconnect();
    }
    std::printf(
        "waiting: %d sessions (logged in within %.1f s) each sent one command answered after "
        "%d ms: %d answers in %.2f s wall, process CPU %.3f s = %.1f%% of one core "
        "(target < 5%%), failures %d\n",
        o.waiting, login_seconds, o.delay_ms, answered.load(), wall, cpu, 100.0 * cpu / wall,
        failures.load());
}

void cycled_sessions(const Options& o, int port) {
    quorvane::ssh_connect(ap_params(kAp, port))->disconnect();  // libssh set up once
    // Memory the allocator keeps after free() is returned before each figure it could
    // blur, so that the figures show what the sessions hold.
    ::malloc_trim(0);
    const long fds_start = open_descriptors();
    const double rss_start = rss_mb();

    std::vector<quorvane::DeviceSessionPtr> sessions(static_cast<std::size_t>(o.cycled));
    std::atomic<int> next{0};
    std::atomic<int> failures{0};
    const auto start = Clock::now();
    std::vector<std::thread> threads;
    for (int t = 0; t < kConnectThreads; ++t) {
        threads.emplace_back([&] {
            for (int i = next++; i < o.cycled; i = next++) {
                try {
                    auto session = quorvane::ssh_connect(ap_params(kAp, port));
                    session->send_command("show clock");
                    sessions[static_cast<std::size_t>(i)] = std::move(session);
                } catch (const std::exception& e) {
                    if (failures++ == 0) std::fprintf(stderr, "session failed: %s\n", e.what());
                }
            }
        });
    }
    for (auto& t : threads) t.join();
    const double open_seconds = seconds_since(start);
    const long fds_open = open_descriptors();
    ::malloc_trim(0);
    const double rss_open = rss_mb();
    for (auto& s : sessions) {
        if (s) s->disconnect();
    }
    const long fds_disconnected = open_descriptors();
    ::malloc_trim(0);
    const double rss_disconnected = rss_mb();
    sessions.clear();
    const long fds_destroyed = open_descriptors();
    ::malloc_trim(0);
    const double rss_destroyed = rss_mb();

    const int opened = o.cycled - failures.load();
    std::printf(
        "cycled: %d sessions opened at once in %.1f s (each ran 'show clock'), failures %d\n"
        "  descriptors: start %ld, all open %ld (%.2f per session), after disconnect() with "
        "the objects held %ld, after destroying them %ld\n"
        "  RSS MB (after malloc_trim): start %.1f, all open %.1f (%.0f KiB per session), "
        "after disconnect() with the objects held %.1f, after destroying them %.1f\n",
        o.cycled, open_seconds, failures.load(), fds_start, fds_open,
        opened > 0 ? static_cast<double>(fds_open - fds_start) / opened : 0.0, fds_disconnected,
        fds_destroyed, rss_start, rss_open,
        opened > 0 ? (rss_open - rss_start) * 1024.0 / opened : 0.0, rss_disconnected,
        rss_destroyed);
}

}  // namespace

int main(int argc, char** argv) {
    try {
        const Options o = parse_options(argc, argv);
        quorvane::raise_open_files_limit();
        const std::string budget = quorvane::check_descriptor_budget(std::max(o.waiting, o.cycled));
        if (!budget.empty()) {
            std::fprintf(stderr, "session_scale_bench: %s\n", budget.c_str());
            return 1;
        }
        const fleetsim::Fleet fleet = bench_fleet(o.delay_ms);
        std::unique_ptr<ExternalSimulator> external;
        std::unique_ptr<fleetsim::Simulator> internal;
        int port = 0;
        if (o.fleetsim.empty()) {
            internal = std::make_unique<fleetsim::Simulator>(fleet);
            internal->start();
            port = internal->port();
        } else {
            external = std::make_unique<ExternalSimulator>(o.fleetsim, fleet);
            port = external->port();
        }
        std::printf("simulator: %s, port %d\n",
                    o.fleetsim.empty() ? "in this process" : o.fleetsim.c_str(), port);
        std::fflush(stdout);
        waiting_sessions(o, port);
        std::fflush(stdout);
        cycled_sessions(o, port);
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "session_scale_bench: %s\n", e.what());
        return 1;
    }
}
