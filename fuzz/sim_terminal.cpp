// The simulator's terminal and command line of one device, typed at in chunks. Input: the
// device (an index into a small default fleet), a seed for the cuts, then the keystrokes.
// Time runs forward as far as the device's next step, so every delayed answer plays.
#include <chrono>
#include <memory>

#include "cli.hpp"
#include "device_record.hpp"
#include "fleetsim/fleet.hpp"
#include "fuzz/fuzz_support.hpp"
#include "terminal.hpp"

namespace {

struct NullSink : fleetsim::Terminal::Sink {
    std::size_t written = 0;
    bool dropped = false;
    void write(std::string_view bytes) override { written += bytes.size(); }
    void drop(bool) override { dropped = true; }
    void record(std::string) override {}
};

const fleetsim::Fleet& fleet() {
    static const fleetsim::Fleet instance = fleetsim::default_fleet(6);
    return instance;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const fleetsim::Device& device = fleet().devices[data[0] % fleet().devices.size()];
    std::uint32_t seed = data[1];
    std::string_view typed = fuzz_support::as_text(data + 2, size - 2);

    std::vector<const fleetsim::Device*> aps;
    for (const auto& d : fleet().devices) {
        if (d.kind == fleetsim::DeviceKind::access_point) aps.push_back(&d);
    }
    fleetsim::SessionCounters sessions;
    fleetsim::DeviceRecord record(device, sessions);
    NullSink sink;
    std::unique_ptr<fleetsim::Cli> cli;
    fleetsim::Terminal terminal(sink, [&](const std::string& line) { cli->command(line); });
    cli = fleetsim::Cli::make(terminal, record, aps);
    cli->start();

    auto now = fleetsim::Terminal::Clock::time_point{} + std::chrono::hours(1);
    const auto play = [&] {
        for (int step = 0; step < 64 && !terminal.idle(); ++step) {
            if (const auto due = terminal.next_due(); due && *due > now) now = *due;
            terminal.run(now);
        }
    };
    play();
    while (!typed.empty()) {
        seed = seed * 1103515245u + 12345u;
        const std::size_t chunk = std::min<std::size_t>(1 + (seed >> 16) % 23, typed.size());
        terminal.feed(typed.substr(0, chunk));
        typed.remove_prefix(chunk);
        play();
    }
    return 0;
}
