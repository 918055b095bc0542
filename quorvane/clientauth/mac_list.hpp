#pragma once
// How lists of MACs appear in log lines: ['0011.22aa.bbcc', '0011.22aa.bbcd'], or [].

#include <string>
#include <vector>

namespace quorvane {

std::string render_mac_list(const std::vector<std::string>& macs);

}  // namespace quorvane
