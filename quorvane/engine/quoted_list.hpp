#pragma once
// How lists of MACs or commands appear in log lines: ['show version', 'show clock'], or [].

#include <string>
#include <vector>

namespace quorvane {

std::string quoted_list(const std::vector<std::string>& items);

}  // namespace quorvane
