// Cost of the helpers every poll worker calls per AP and per command: appending to a log
// file, naming it, and reading credentials from the store.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include <unistd.h>

#include "quorvane/config/ini_store.hpp"
#include "quorvane/paths/paths.hpp"

namespace {

namespace fs = std::filesystem;

// One folder for the whole run, removed at exit; benchmarks of several threads share it.
const fs::path& bench_folder() {
    struct Folder {
        fs::path path = fs::temp_directory_path() / ("qv-bench-" + std::to_string(::getpid()));
        Folder() { fs::create_directories(path); }
        ~Folder() {
            std::error_code ec;
            fs::remove_all(path, ec);
        }
    };
    static const Folder folder;
    return folder.path;
}

void BM_SafeWriteAppend(benchmark::State& state) {
    const std::string file = (bench_folder() / "ap.log").string();
    const std::string line(static_cast<std::size_t>(state.range(0)), 'x');
    for (auto _ : state) quorvane::_safe_write_append(file, line);
    state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_SafeWriteAppend)->Arg(100)->Arg(64 * 1024)->ThreadRange(1, 8)->UseRealTime();

void BM_SafeFilename(benchmark::State& state) {
    const std::string name = "SJC-Bldg 4 (Floor 2) – AP-Ålesund.01...";
    for (auto _ : state) benchmark::DoNotOptimize(quorvane::_safe_filename(name));
}
BENCHMARK(BM_SafeFilename);

void BM_IniStoreGetSecret(benchmark::State& state) {
    quorvane::IniStore store((bench_folder() / "store.ini").string());
    store.set("AP", "ap_pasw", "an-access-point-password");
    for (auto _ : state) benchmark::DoNotOptimize(store.get("AP", "ap_pasw"));
}
BENCHMARK(BM_IniStoreGetSecret);

void BM_IniStoreLoad(benchmark::State& state) {
    const std::string path = (bench_folder() / "load.ini").string();
    {
        quorvane::IniStore store(path);
        for (int i = 1; i <= 50; ++i) {
            const std::string section = i == 1 ? "WLC" : "WLC" + std::to_string(i);
            store.bulk_set(section, {{"wlc_ip", "10.0.0." + std::to_string(i)},
                                     {"wlc_user", "admin"},
                                     {"wlc_pasw", "secret"}});
        }
        store.save();
    }
    for (auto _ : state) benchmark::DoNotOptimize(quorvane::IniStore(path));
}
BENCHMARK(BM_IniStoreLoad);

}  // namespace

BENCHMARK_MAIN();
