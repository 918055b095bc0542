// fleetsim: an SSH fleet of simulated controllers and APs on loopback addresses.
#include <signal.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iostream>
#include <string>

#include "fleetsim/fleet.hpp"
#include "fleetsim/simulator.hpp"

namespace {

const char kUsage[] =
    "usage: fleetsim (--default-fleet N [--controllers C] | --demo-fleet | --fleet FILE)\n"
    "                [--port P] [--state-dir DIR]\n"
    "                [--max-seconds S] [--threads T] [--write-fleet FILE]\n"
    "Every device listens on its own 127.x.y.z address, all on port P (default 10022).\n"
    "--write-fleet writes the fleet as JSON and exits unless a port is given too.\n";

int to_int(const char* text, const char* option) {
    char* end = nullptr;
    long v = std::strtol(text, &end, 10);
    if (!*text || *end || v < 0 || v > 1000000) {
        std::fprintf(stderr, "fleetsim: %s needs a number, not '%s'\n", option, text);
        std::exit(2);
    }
    return static_cast<int>(v);
}

}  // namespace

int main(int argc, char** argv) {
    int default_n = -1;
    int controllers = 2;
    bool controllers_given = false;
    bool demo = false;
    std::string fleet_file, write_file;
    fleetsim::Options options;
    options.port = 10022;
    bool port_given = false;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&]() -> const char* {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "fleetsim: %s needs a value\n%s", a.c_str(), kUsage);
                std::exit(2);
            }
            return argv[++i];
        };
        if (a == "--default-fleet") {
            default_n = to_int(value(), "--default-fleet");
        } else if (a == "--controllers") {
            controllers = to_int(value(), "--controllers");
            controllers_given = true;
        } else if (a == "--demo-fleet") {
            demo = true;
        } else if (a == "--fleet") {
            fleet_file = value();
        } else if (a == "--port") {
            options.port = to_int(value(), "--port");
            port_given = true;
        } else if (a == "--state-dir") {
            options.state_dir = value();
        } else if (a == "--max-seconds") {
            options.max_seconds = to_int(value(), "--max-seconds");
        } else if (a == "--threads") {
            options.threads = to_int(value(), "--threads");
        } else if (a == "--write-fleet") {
            write_file = value();
        } else if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else {
            std::fprintf(stderr, "fleetsim: unknown option %s\n%s", a.c_str(), kUsage);
            return 2;
        }
    }
    if ((default_n >= 0) + demo + !fleet_file.empty() != 1) {
        std::fprintf(stderr,
                     "fleetsim: give exactly one of --default-fleet, --demo-fleet or --fleet\n%s",
                     kUsage);
        return 2;
    }
    if (controllers < 1 || controllers > 1000 || (controllers_given && default_n < 0)) {
        std::fprintf(stderr, "fleetsim: --controllers takes 1 to 1000, with --default-fleet\n");
        return 2;
    }
    if (options.port > 65535 || options.max_seconds <= 0) {
        std::fprintf(stderr, "fleetsim: port must be 0 to 65535 and max-seconds positive\n");
        return 2;
    }
    try {
        fleetsim::Fleet fleet = demo ? fleetsim::demo_fleet()
                                : fleet_file.empty()
                                    ? fleetsim::default_fleet(default_n, controllers)
                                    : fleetsim::load_fleet(fleet_file);
        if (!write_file.empty()) {
            fleetsim::save_fleet(fleet, write_file);
            if (!port_given) return 0;
        }
        std::signal(SIGPIPE, SIG_IGN);
        // Signals are taken synchronously so that stopping happens on this thread.
        sigset_t signals;
        sigemptyset(&signals);
        sigaddset(&signals, SIGTERM);
        sigaddset(&signals, SIGINT);
        pthread_sigmask(SIG_BLOCK, &signals, nullptr);

        fleetsim::Simulator sim(std::move(fleet), options);
        sim.start();
        std::printf("fleetsim: %zu devices listening on port %d\n", sim.fleet().devices.size(),
                    sim.port());
        std::fflush(stdout);
        timespec limit{options.max_seconds, 0};
        int sig = sigtimedwait(&signals, nullptr, &limit);
        sim.stop();
        std::printf("fleetsim: stopped (%s)\n", sig > 0 ? strsignal(sig) : "time limit reached");
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
}
