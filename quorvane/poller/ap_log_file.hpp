#pragma once
// The per-AP log file: where it lies, what it is called, and the pieces a poll appends to
// it (run header, command blocks), plus the command line echoed to the engine log. The
// offline analyser reads these files, so every character here is part of that contract.

#include <chrono>
#include <string>

#include "quorvane/inventory/ap_row.hpp"

namespace quorvane {

// The run folder itself for an AP without a controller, else its "WLC_a_b_c_d" folder.
std::string ap_log_folder(const std::string& data_dir, const ApRow& ap);
// device + "_" + sanitised AP name + ".log", inside ap_log_folder. Creates nothing.
std::string ap_log_path(const std::string& data_dir, const std::string& device, const ApRow& ap);

// "<run timestamp='…' device='…' hostname='…' model='…' version='…' Ip='…' SN='…'>\n"
std::string ap_run_header(std::chrono::system_clock::time_point when, const std::string& device,
                          const ApRow& ap, const std::string& image, const std::string& serial);

// "\n<cmd string='{cmd}'>\n\t{cmd}\n"
std::string ap_command_block(const std::string& cmd);

// "{ts} | {ip} | {name} | {cmd}" with ip and name padded to 15 characters.
std::string ap_command_log_line(std::chrono::system_clock::time_point when, const ApRow& ap,
                                const std::string& cmd);

// Local time as "%Y-%m-%d %H:%M:%S".
std::string log_time(std::chrono::system_clock::time_point when);

}  // namespace quorvane
