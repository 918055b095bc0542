// Session cost against the simulated fleet on loopback: opening a session (connect,
// authenticate, shell, prompt found, paging off) and the per-command overhead over the
// device's own answer delay. Run with --benchmark_repetitions=10 and read the medians.

#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>

#include "fleetsim/simulator.hpp"
#include "quorvane/engine/ssh/ssh_connect.hpp"

namespace {

constexpr const char* kAp = "127.20.0.1";
constexpr const char* kSlowAp = "127.21.0.1";
constexpr int kSlowApDelayMs = 5;
constexpr const char* kHugeAp = "127.21.0.2";

fleetsim::Simulator& simulator() {
    static const std::unique_ptr<fleetsim::Simulator> sim = [] {
        fleetsim::Fleet fleet = fleetsim::default_fleet(4);
        fleetsim::Device slow = fleet.devices.back();
        slow.address = kSlowAp;
        slow.hostname = "AP-SLOW";
        slow.faults.delay_ms = kSlowApDelayMs;
        fleet.devices.push_back(slow);
        fleetsim::Device huge = slow;
        huge.address = kHugeAp;
        huge.hostname = "AP-HUGE";
        huge.faults.delay_ms = 0;
        huge.faults.huge_on = "show huge";
        fleet.devices.push_back(huge);
        auto s = std::make_unique<fleetsim::Simulator>(fleet);
        s->start();
        return s;
    }();
    return *sim;
}

quorvane::DeviceParams ap_params(const char* address) {
    quorvane::DeviceParams p;
    p.host = address;
    p.port = simulator().port();
    p.username = "apadmin";
    p.password = "appass";
    p.secret = "apenable";
    return p;
}

void BM_OpenSession(benchmark::State& state) {
    const auto params = ap_params(kAp);
    for (auto _ : state) {
        const auto session = quorvane::ssh_connect(params);
        session->send_command("terminal length 0");
        state.PauseTiming();
        session->disconnect();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_OpenSession)->Unit(benchmark::kMillisecond)->UseRealTime();

// Time per command minus the device's own delay (counter "overhead_ms").
void BM_Command(benchmark::State& state) {
    const bool slow = state.range(0) != 0;
    const auto session = quorvane::ssh_connect(ap_params(slow ? kSlowAp : kAp));
    session->send_command("terminal length 0");
    const double device_delay_ms = slow ? kSlowApDelayMs : 0.0;
    double total_ms = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(session->send_command("show clock"));
        total_ms +=
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count();
    }
    state.counters["overhead_ms"] =
        total_ms / static_cast<double>(state.iterations()) - device_delay_ms;
    session->disconnect();
}
BENCHMARK(BM_Command)
    ->Arg(0)
    ->Arg(1)
    ->ArgName("device_delay")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// A command without prompt detection returns as soon as the prompt is back, well under the
// session's quiet time (0.5 s) that ends it when no prompt comes.
void BM_TimingCommandAtPrompt(benchmark::State& state) {
    const auto session = quorvane::ssh_connect(ap_params(kAp));
    for (auto _ : state) benchmark::DoNotOptimize(session->send_command_timing("show clock"));
    session->disconnect();
}
BENCHMARK(BM_TimingCommandAtPrompt)->Unit(benchmark::kMillisecond)->UseRealTime();

// A 1 MiB output line: throughput of the read path and the prompt tracking.
void BM_LongOutput(benchmark::State& state) {
    const auto session = quorvane::ssh_connect(ap_params(kHugeAp));
    for (auto _ : state) {
        const std::string out = session->send_command("show huge");
        state.SetBytesProcessed(state.bytes_processed() + static_cast<int64_t>(out.size()));
    }
    session->disconnect();
}
BENCHMARK(BM_LongOutput)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
