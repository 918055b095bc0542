#include "quorvane/clientauth/deleted_clients_file.hpp"

#include <ctime>
#include <filesystem>

#include "quorvane/engine/iso_time.hpp"
#include "quorvane/paths/paths.hpp"

namespace quorvane {

std::string file_name_stamp(std::chrono::system_clock::time_point when) {
    const std::time_t t = std::chrono::system_clock::to_time_t(when);
    std::tm local{};
    localtime_r(&t, &local);
    char buf[32];
    const std::size_t n = std::strftime(buf, sizeof buf, "%Y%m%d_%H%M%S", &local);
    return std::string(buf, n);
}

std::string write_deleted_clients_file(const std::string& folder, const std::string& ts,
                                       std::chrono::system_clock::time_point when,
                                       const std::vector<std::string>& macs) {
    const std::string path =
        (std::filesystem::path(folder) / ("deleted_clients_" + ts + ".txt")).string();
    std::string text = "Auth Loop Deleted Clients \u2014 " + iso_local_timestamp(when) + "\n" +
                       std::string(50, '=') + "\n";
    for (const auto& mac : macs) text += mac + "\n";
    // The whole text in one append, so the file never holds a heading without its list.
    _safe_write_append(path, text);
    return path;
}

}  // namespace quorvane
