// The parallel AP list fetch against the simulated fleet on loopback: 5 controllers of
// 1000 APs each, all read at once. The simulator runs in this process on its own threads.
// The engine writes below its base directory, so run it with one of its own:
//   tests/isolated.sh build/default/bench/inventory/inventory_bench

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>

#include "fleetsim/simulator.hpp"
#include "quorvane/quorvane.hpp"

namespace {

constexpr int kControllers = 5;
constexpr int kApsPerController = 1000;

fleetsim::Simulator& simulator() {
    static const std::unique_ptr<fleetsim::Simulator> sim = [] {
        fleetsim::Fleet fleet =
            fleetsim::default_fleet(kControllers * kApsPerController, kControllers);
        // The fetch never talks to the APs; listing them is enough.
        for (auto& device : fleet.devices) {
            if (device.kind == fleetsim::DeviceKind::access_point) device.faults.unreachable = true;
        }
        fleetsim::Options options;
        options.max_seconds = 1800;
        auto s = std::make_unique<fleetsim::Simulator>(std::move(fleet), options);
        s->start();
        return s;
    }();
    return *sim;
}

void write_config() {
    std::ofstream config(std::filesystem::path(quorvane::CONFD) / "config.ini", std::ios::trunc);
    for (int i = 0; i < kControllers; ++i) {
        config << "[WLC" << (i ? std::to_string(i + 1) : "") << "]\nwlc_ip = 127.10.0." << i + 1
               << "\nwlc_user = admin\nwlc_pasw = admin\n";
    }
}

void BM_FetchFullApList(benchmark::State& state) {
    write_config();
    quorvane::EngineOptions options;
    options.ssh_port = simulator().port();
    quorvane::Quorvane engine(options, [](const std::string&) {});
    std::size_t rows = 0;
    for (auto _ : state) rows = engine.fetch_full_ap_list().size();
    state.counters["aps"] = static_cast<double>(rows);
}
BENCHMARK(BM_FetchFullApList)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    if (std::getenv("QUORVANE_BASE_DIR") == nullptr) {
        std::cerr << "set QUORVANE_BASE_DIR to a scratch folder (or run through "
                     "tests/isolated.sh): the fetch writes its AP lists below it\n";
        return 2;
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
