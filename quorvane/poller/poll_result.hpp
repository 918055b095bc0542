#pragma once
// What one AP's poll reports: index, address, model, status, name, controller address,
// and for a poll that did not succeed, why, in words a network engineer acts on.

#include <string>

namespace quorvane {

struct PollResult {
    int idx = 0;
    std::string ip;
    std::string model;
    std::string status;
    std::string name;
    std::string wlc_ip;
    // The last failed step's cause ("password refused by the device", ...); empty on
    // success and where no cause is known.
    std::string reason;
    // The "Model Number" the AP reported, which the poll run copies into the shared row
    // on its own thread; empty when the AP reported none (or "unknown").
    std::string model_number{};
};

}  // namespace quorvane
