#include "quorvane/poller/ap_log_file.hpp"

#include <algorithm>
#include <ctime>
#include <filesystem>

#include "quorvane/engine/iso_time.hpp"
#include "quorvane/paths/paths.hpp"

namespace quorvane {

namespace {

constexpr std::size_t kColumnWidth = 15;

// Characters, not bytes, as a reader lines the columns up; stray bytes of invalid text
// count one each.
std::size_t display_length(const std::string& text) {
    return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

std::string padded(const std::string& text) {
    const std::size_t length = display_length(text);
    return length >= kColumnWidth ? text : text + std::string(kColumnWidth - length, ' ');
}

}  // namespace

std::string ap_log_folder(const std::string& data_dir, const ApRow& ap) {
    if (ap.wlc_ip.empty()) return data_dir;
    std::string address = ap.wlc_ip;
    std::replace(address.begin(), address.end(), '.', '_');
    return (std::filesystem::path(data_dir) / ("WLC_" + address)).string();
}

std::string ap_log_path(const std::string& data_dir, const std::string& device, const ApRow& ap) {
    return (std::filesystem::path(ap_log_folder(data_dir, ap)) /
            (device + "_" + _safe_filename(ap.name) + ".log"))
        .string();
}

std::string ap_run_header(std::chrono::system_clock::time_point when, const std::string& device,
                          const ApRow& ap, const std::string& image, const std::string& serial) {
    return "<run timestamp='" + iso_local_timestamp(when) + "' device='" + device + "' hostname='" +
           ap.name + "' model='" + ap.model + "' version='" + image + "' Ip='" + ap.ip + "' SN='" +
           serial + "'>\n";
}

std::string ap_command_block(const std::string& cmd) {
    return "\n<cmd string='" + cmd + "'>\n\t" + cmd + "\n";
}

std::string ap_command_log_line(std::chrono::system_clock::time_point when, const ApRow& ap,
                                const std::string& cmd) {
    return log_time(when) + " | " + padded(ap.ip) + " | " + padded(ap.name) + " | " + cmd;
}

std::string log_time(std::chrono::system_clock::time_point when) {
    const std::time_t t = std::chrono::system_clock::to_time_t(when);
    std::tm local{};
    localtime_r(&t, &local);
    char buf[32];
    const std::size_t n = std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &local);
    return std::string(buf, n);
}

}  // namespace quorvane
