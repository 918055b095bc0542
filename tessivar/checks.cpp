#include "tessivar/checks.hpp"

#include <system_error>

#include "tessivar/log_text.hpp"

namespace tessivar {
namespace {

template <typename Extract>
auto check_file(const std::filesystem::path& path, Extract extract) {
    std::string buffer;
    return extract(MarkerIndex(read_log_text(path, buffer)));
}

}  // namespace

std::vector<std::string> _read_lines(const std::filesystem::path& path) {
    std::string buffer;
    return split_lines(read_log_text(path, buffer));
}

std::optional<std::string> ap_hostname_from_run_header(const std::filesystem::path& path) {
    return check_file(path, hostname_fact);
}

std::string ap_ip_from_run_header(const std::filesystem::path& path) {
    try {
        return check_file(path, ip_fact);
    } catch (const std::system_error&) {
        return {};
    }
}

TextCheck ap_model_from_log(const std::filesystem::path& path) {
    return check_file(path, model_fact);
}

TextCheck primary_version_check(const std::filesystem::path& path) {
    return check_file(path, primary_version_fact);
}

TextCheck backup_version_check(const std::filesystem::path& path) {
    return check_file(path, backup_version_fact);
}

bool cnssdaemon_log_present(const std::filesystem::path& path) {
    return check_file(path, cnssdaemon_fact);
}

TextCheck current_boot_partition(const std::filesystem::path& path) {
    return check_file(path, boot_partition_fact);
}

std::optional<bool> image_integrity_failed(const std::filesystem::path& path) {
    try {
        return check_file(path, integrity_failed_fact);
    } catch (const std::system_error&) {
        return std::nullopt;
    }
}

MegabytesCheck part2_mem_available_mb(const std::filesystem::path& path) {
    return check_file(path, part2_free_fact);
}

}  // namespace tessivar
