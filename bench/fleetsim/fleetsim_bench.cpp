// How fast the simulator is: new SSH sessions per second, command round trips against
// the configured device delay, and a thousand sessions open at once.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "fleetsim/simulator.hpp"
#include "ssh_test_client.hpp"

namespace {

using fleetsim_test::SshTestClient;
using Clock = std::chrono::steady_clock;

constexpr int kAps = 200;

// One fleet for the whole run, with three extra APs answering after 0, 20 and 100 ms.
fleetsim::Simulator& simulator() {
    static std::unique_ptr<fleetsim::Simulator> sim = [] {
        fleetsim::Fleet fleet = fleetsim::default_fleet(kAps);
        int n = 0;
        for (int delay : {0, 20, 100}) {
            fleetsim::Device d = fleet.devices.back();
            d.address = "127.40.0." + std::to_string(++n);
            d.hostname = "AP-DELAY-" + std::to_string(delay);
            d.faults.delay_ms = delay;
            fleet.devices.push_back(d);
        }
        auto s = std::make_unique<fleetsim::Simulator>(fleet);
        s->start();
        return s;
    }();
    return *sim;
}

// The default fleet lists its two controllers first, then the APs in order.
const fleetsim::Device& ap(int i) { return simulator().fleet().devices[i + 2]; }
std::string ap_address(int i) { return ap(i).address; }
std::string ap_prompt(int i) { return ap(i).hostname + ">"; }

// A whole session: TCP, key exchange, password, pty, shell, prompt, disconnect.
void BM_NewSession(benchmark::State& state) {
    fleetsim::Simulator& sim = simulator();
    int i = static_cast<int>(state.thread_index()) * 37;
    for (auto _ : state) {
        int ap = i++ % kAps;
        SshTestClient c(ap_address(ap), sim.port(), "apadmin", "appass");
        c.read_until(ap_prompt(ap));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_NewSession)->Threads(1)->Threads(2)->Threads(4)->UseRealTime()->MinTime(3);

// Command answer time on one session; "over_delay_ms" is what the simulator adds.
void BM_CommandRoundTrip(benchmark::State& state) {
    fleetsim::Simulator& sim = simulator();
    int delay = static_cast<int>(state.range(0));
    int index = delay == 0 ? 1 : delay == 20 ? 2 : 3;
    std::string prompt = "AP-DELAY-" + std::to_string(delay) + ">";
    SshTestClient c("127.40.0." + std::to_string(index), sim.port(), "apadmin", "appass");
    c.read_until(prompt);
    std::vector<double> over;
    for (auto _ : state) {
        auto t0 = Clock::now();
        c.command("show clock", prompt);
        double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
        state.SetIterationTime(ms / 1000.0);
        over.push_back(ms - delay);
    }
    std::sort(over.begin(), over.end());
    state.counters["over_delay_ms_p50"] = over[over.size() / 2];
    state.counters["over_delay_ms_p99"] = over[over.size() * 99 / 100];
    state.counters["over_delay_ms_max"] = over.back();
}
BENCHMARK(BM_CommandRoundTrip)->Arg(0)->Arg(20)->Arg(100)->UseManualTime()->Iterations(200);

// Resident memory of the whole process: simulator and clients together.
double rss_mb() {
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(f);
    }
    return resident * (sysconf(_SC_PAGESIZE) / 1024.0) / 1024.0;
}

// A thousand sessions stay open; each iteration sends one command on every session and
// reads every answer.
void BM_ThousandSessions(benchmark::State& state) {
    fleetsim::Simulator& sim = simulator();
    constexpr int kSessions = 1000;
    std::vector<std::unique_ptr<SshTestClient>> clients(kSessions);
    std::atomic<int> next{0};
    auto t0 = Clock::now();
    std::vector<std::thread> openers;
    for (int t = 0; t < 4; ++t) {
        openers.emplace_back([&] {
            for (int i; (i = next++) < kSessions;) {
                int ap = i % kAps;
                clients[i] = std::make_unique<SshTestClient>(ap_address(ap), sim.port(), "apadmin",
                                                             "appass");
                clients[i]->read_until(ap_prompt(ap));
            }
        });
    }
    for (auto& t : openers) t.join();
    double open_s = std::chrono::duration<double>(Clock::now() - t0).count();
    int peak = sim.open_connections();
    state.counters["process_rss_mb"] = rss_mb();
    for (auto _ : state) {
        for (auto& c : clients) c->send("show clock\n");
        for (int i = 0; i < kSessions; ++i) clients[i]->read_until(ap_prompt(i % kAps));
    }
    state.counters["open_sessions"] = peak;
    state.counters["open_rate_per_s"] = kSessions / open_s;
    state.SetItemsProcessed(state.iterations() * kSessions);
}
BENCHMARK(BM_ThousandSessions)->UseRealTime()->Iterations(20)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
