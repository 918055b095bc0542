#include "apps/tessivar-cli/simulated_logs.hpp"

#include <stdlib.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <stdexcept>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "fleetsim/ap_show.hpp"
#include "fleetsim/fleet.hpp"
#include "fleetsim/simulator.hpp"

namespace tessivar::cli {

namespace {

// A poll writes no log for an AP it cannot log in to, and stops one whose session ends.
// Stray bytes before an answer (garbage_on, huge_on) do not change what the checks find,
// so those APs are written with their plain answers.
bool poll_gets_through(const fleetsim::Device& ap) {
    const fleetsim::Faults& f = ap.faults;
    return !f.unreachable && !f.wrong_password && !f.refuse_enable && f.hang_on.empty() &&
           f.drop_on.empty();
}

// Local time as the poller stamps a run: 2026-12-08T12:43:39.441634.
std::string run_timestamp() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(
                            now.time_since_epoch() % std::chrono::seconds(1))
                            .count();
    std::tm local{};
    localtime_r(&seconds, &local);
    char text[40];
    const std::size_t n = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
    std::snprintf(text + n, sizeof text - n, ".%06lld", static_cast<long long>(micros));
    return text;
}

// The flash-check command list and what the AP answers to each.
std::vector<std::pair<std::string, std::string>> flash_check_answers(const fleetsim::Device& ap) {
    const fleetsim::DeviceState state = fleetsim::initial_state(ap);
    return {{"show version", fleetsim::ap_show_version(ap, state)},
            {"show boot", fleetsim::ap_show_boot(ap)},
            {"show filesystems", fleetsim::ap_show_filesystems(ap, state)},
            {"show image integrity", fleetsim::ap_show_image_integrity(ap)},
            {"show flash", fleetsim::ap_show_flash(ap)}};
}

void write_log(const std::filesystem::path& file, const fleetsim::Device& ap,
               const std::string& timestamp) {
    std::ofstream out(file, std::ios::binary);
    out << "<run timestamp='" << timestamp << "' device='AP' hostname='" << ap.hostname
        << "' model='" << ap.model << "' version='" << ap.version << "' Ip='" << ap.address
        << "' SN='" << ap.serial << "'>\n";
    for (const auto& [command, answer] : flash_check_answers(ap)) {
        out << "\n<cmd string='" << command << "'>\n\t" << command << "\n" << answer;
    }
    out.close();
    if (!out) throw std::runtime_error("cannot write " + file.string());
}

}  // namespace

std::filesystem::path write_simulated_logs() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tessivar-sim-XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
        throw std::system_error(errno, std::generic_category(), "cannot create " + pattern);
    }
    const std::filesystem::path folder = pattern;
    const std::string timestamp = run_timestamp();
    for (const fleetsim::Device& device : fleetsim::demo_fleet().devices) {
        if (device.kind != fleetsim::DeviceKind::access_point || !poll_gets_through(device))
            continue;
        write_log(folder / ("AP_" + device.hostname + ".log"), device, timestamp);
    }
    return folder;
}

}  // namespace tessivar::cli
