#pragma once
// What one AP's poll reports: index, address, model, status, name, controller address.

#include <string>

namespace quorvane {

struct PollResult {
    int idx = 0;
    std::string ip;
    std::string model;
    std::string status;
    std::string name;
    std::string wlc_ip;
};

}  // namespace quorvane
