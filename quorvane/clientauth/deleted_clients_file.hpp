#pragma once
// The record a completed stuck-client run leaves in its run folder.

#include <chrono>
#include <string>
#include <vector>

namespace quorvane {

// "20260307_141502": the local time as it appears in file names.
std::string file_name_stamp(std::chrono::system_clock::time_point when);

// Writes "deleted_clients_{ts}.txt" into `folder`: the heading with the local time
// `when`, a rule, then one MAC per line. Returns the file's full path; file-system
// errors reach the caller.
std::string write_deleted_clients_file(const std::string& folder, const std::string& ts,
                                       std::chrono::system_clock::time_point when,
                                       const std::vector<std::string>& macs);

}  // namespace quorvane
