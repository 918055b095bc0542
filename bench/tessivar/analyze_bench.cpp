// Throughput of the folder analysis on a generated fleet of AP logs held in the page cache.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <iostream>
#include <sstream>

#include "loggen.hpp"
#include "tessivar/scan_pool.hpp"
#include "tessivar/tessivar.hpp"

namespace {

constexpr std::size_t kFiles = 2000;
constexpr std::size_t kBytesPerFile = 200 * 1024;

struct Fleet {
    std::filesystem::path dir;
    std::vector<std::filesystem::path> files;
    std::size_t bytes = 0;

    Fleet() {
        dir = std::filesystem::temp_directory_path() /
              ("tessivar-bench-" + std::to_string(::getpid())) / "20260301_140509";
        tessivar::loggen::write_fleet(dir, kFiles, kBytesPerFile);
        for (const auto& entry : std::filesystem::directory_iterator(dir)) {
            files.push_back(entry.path());
            bytes += entry.file_size();
        }
    }
    ~Fleet() {
        std::error_code ec;
        std::filesystem::remove_all(dir.parent_path(), ec);
    }
};

Fleet& fleet() {
    static Fleet f;
    return f;
}

void set_rates(benchmark::State& state, std::size_t files, std::size_t bytes) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
    state.counters["files/s"] = benchmark::Counter(static_cast<double>(state.iterations() * files),
                                                   benchmark::Counter::kIsRate);
}

void BM_AnalyzeLogs(benchmark::State& state) {
    Fleet& f = fleet();
    std::ostringstream sink;
    std::streambuf* saved = std::cout.rdbuf(sink.rdbuf());
    for (auto _ : state) {
        const auto result = tessivar::analyze_logs(f.dir);
        benchmark::DoNotOptimize(result);
        state.PauseTiming();
        std::filesystem::remove(result.second);
        sink.str("");
        state.ResumeTiming();
    }
    std::cout.rdbuf(saved);
    set_rates(state, f.files.size(), f.bytes);
}
BENCHMARK(BM_AnalyzeLogs)->Unit(benchmark::kMillisecond)->UseRealTime();

// Reading and scanning alone, with a given number of threads.
void BM_ScanFiles(benchmark::State& state) {
    Fleet& f = fleet();
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            tessivar::scan_files(f.files, static_cast<unsigned>(state.range(0))));
    }
    set_rates(state, f.files.size(), f.bytes);
}
BENCHMARK(BM_ScanFiles)->Arg(1)->Arg(2)->Arg(4)->Unit(benchmark::kMillisecond)->UseRealTime();

// The ten per-fact checks called one after the other, each reading the file again.
void BM_PerFactChecks(benchmark::State& state) {
    Fleet& f = fleet();
    const std::size_t n = 200;
    std::size_t bytes = 0;
    for (std::size_t i = 0; i < n; ++i) bytes += std::filesystem::file_size(f.files[i]);
    for (auto _ : state) {
        for (std::size_t i = 0; i < n; ++i) {
            const auto& p = f.files[i];
            benchmark::DoNotOptimize(tessivar::ap_hostname_from_run_header(p));
            benchmark::DoNotOptimize(tessivar::ap_ip_from_run_header(p));
            benchmark::DoNotOptimize(tessivar::ap_model_from_log(p));
            benchmark::DoNotOptimize(tessivar::primary_version_check(p));
            benchmark::DoNotOptimize(tessivar::backup_version_check(p));
            benchmark::DoNotOptimize(tessivar::cnssdaemon_log_present(p));
            benchmark::DoNotOptimize(tessivar::current_boot_partition(p));
            benchmark::DoNotOptimize(tessivar::image_integrity_failed(p));
            benchmark::DoNotOptimize(tessivar::part2_mem_available_mb(p));
        }
    }
    set_rates(state, n, bytes);
}
BENCHMARK(BM_PerFactChecks)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
