#include "apps/quorvane-cli/simulation.hpp"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <stdexcept>
#include <vector>

#include "fleetsim/simulator.hpp"
#include "quorvane/quorvane.hpp"

namespace quorvane::cli {

namespace fs = std::filesystem;

namespace {

// Set only in the restarted process; holds the base directory it must find in effect.
constexpr const char* kSimulationBaseEnv = "QUORVANE_CLI_SIMULATION_BASE";
constexpr int kSimulatorMaxSeconds = 1800;

std::string make_fresh_base_dir() {
    std::string pattern = (fs::temp_directory_path() / "quorvane-sim-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot create a temporary base directory: " +
                                 std::string(std::strerror(errno)));
    }
    return pattern;
}

// The program's own command line, as the kernel kept it.
std::vector<std::string> own_arguments() {
    std::ifstream in("/proc/self/cmdline", std::ios::binary);
    std::vector<std::string> args;
    for (std::string arg; std::getline(in, arg, '\0');) args.push_back(arg);
    return args;
}

[[noreturn]] void restart_in(const std::string& base_dir) {
    setenv("QUORVANE_BASE_DIR", base_dir.c_str(), 1);
    setenv(kSimulationBaseEnv, base_dir.c_str(), 1);
    std::vector<std::string> args = own_arguments();
    std::vector<char*> argv;
    for (auto& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    execv("/proc/self/exe", argv.data());
    throw std::runtime_error("cannot restart the program for the simulation: " +
                             std::string(std::strerror(errno)));
}

const fleetsim::Device* nth_device(const fleetsim::Fleet& fleet, fleetsim::DeviceKind kind, int n) {
    for (const auto& device : fleet.devices) {
        if (device.kind == kind && n-- == 0) return &device;
    }
    return nullptr;
}

void write_simulated_config(const fleetsim::Fleet& fleet) {
    IniStore store((fs::path(CONFD) / "config.ini").string());
    for (int i = 0;; ++i) {
        const auto* wlc = nth_device(fleet, fleetsim::DeviceKind::controller, i);
        if (!wlc) break;
        store.bulk_set(
            i == 0 ? "WLC" : "WLC" + std::to_string(i + 1),
            {{"wlc_ip", wlc->address}, {"wlc_user", wlc->username}, {"wlc_pasw", wlc->password}});
    }
    if (const auto* ap = nth_device(fleet, fleetsim::DeviceKind::access_point, 0)) {
        store.bulk_set("AP", {{"ap_user", ap->username},
                              {"ap_pasw", ap->password},
                              {"ap_enable", ap->enable_secret}});
    }
    // The simulated APs accept any non-empty transfer login and a path with a file name.
    store.bulk_set("FTP", {{"ftp_proto", "SFTP"},
                           {"ftp_addr", "127.0.0.1"},
                           {"ftp_path", "/images/ap-image.tar"},
                           {"ftp_user", "ftpuser"},
                           {"ftp_pasw", "ftppass"}});
    store.save();
}

std::unique_ptr<fleetsim::Simulator> simulator;

}  // namespace

int start_devices(const CommonOptions& common) {
    if (!common.simulate) return common.ssh_port;
    const char* expected = std::getenv(kSimulationBaseEnv);
    if (expected == nullptr) restart_in(make_fresh_base_dir());
    if (fs::absolute(expected).lexically_normal().string() != BASE_DIR) {
        throw std::runtime_error("the simulation's base directory " + std::string(expected) +
                                 " did not take effect (the library uses " + BASE_DIR + ")");
    }
    unsetenv(kSimulationBaseEnv);

    fleetsim::Options options;
    options.port = common.ssh_port_given ? common.ssh_port : 0;
    options.state_dir = fs::path(BASE_DIR) / "fleetsim";
    options.max_seconds = kSimulatorMaxSeconds;
    simulator = std::make_unique<fleetsim::Simulator>(fleetsim::demo_fleet(), options);
    simulator->start();
    write_simulated_config(simulator->fleet());
    std::cerr << "quorvane: simulated fleet of " << simulator->fleet().devices.size()
              << " devices listening on loopback port " << simulator->port() << "; base directory "
              << BASE_DIR << "\n";
    return simulator->port();
}

bool simulating() { return simulator != nullptr; }

void stop_simulation() {
    if (!simulator) return;
    simulator->stop();
    simulator.reset();
    std::cerr << "quorvane: simulator stopped; configuration and output are under " << BASE_DIR
              << "\n";
}

}  // namespace quorvane::cli
