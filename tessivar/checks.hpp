#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "tessivar/log_facts.hpp"

// The per-AP checks: each reads one AP log file and extracts one fact from it. Missing markers
// give no value; a file that cannot be opened or read throws std::system_error, except for the
// address and the integrity check, which turn read errors into their empty result.
namespace tessivar {

std::vector<std::string> _read_lines(const std::filesystem::path& path);

std::optional<std::string> ap_hostname_from_run_header(const std::filesystem::path& path);
std::string ap_ip_from_run_header(const std::filesystem::path& path);
// Model signature, and whether it belongs to an affected model family.
TextCheck ap_model_from_log(const std::filesystem::path& path);
// Running image version, and whether it is buggy.
TextCheck primary_version_check(const std::filesystem::path& path);
// Backup image version, and whether it is buggy.
TextCheck backup_version_check(const std::filesystem::path& path);
bool cnssdaemon_log_present(const std::filesystem::path& path);
// Boot partition name, and whether it is "part1".
TextCheck current_boot_partition(const std::filesystem::path& path);
std::optional<bool> image_integrity_failed(const std::filesystem::path& path);
MegabytesCheck part2_mem_available_mb(const std::filesystem::path& path);

}  // namespace tessivar
