#pragma once
// The AP list files: "ap_ip_list_all.txt" (every fetched row, appended) and
// "ap_ip_list.txt" (the chosen rows, replaced as a whole). Fields are separated by one
// blank, lines end with a line feed.

#include <string>

#include "quorvane/inventory/ap_row.hpp"

namespace quorvane {

// "ip model name" per row, appended to CONFD/ap_ip_list_all.txt in one write so that
// blocks from parallel fetches never interleave. Filesystem errors reach the caller.
void append_all_aps_list(const ApRows& rows);

// "ip model" or "ip model site_tag" per row.
std::string filtered_ap_list_text(const ApRows& rows);

// Writes `text` to a temporary file in the same folder and renames it over `path`, so a
// reader sees the old content or the new one, never part of it.
void replace_text_file(const std::string& path, const std::string& text);

}  // namespace quorvane
