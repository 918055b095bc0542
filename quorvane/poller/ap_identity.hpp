#pragma once
// What a poll reads off an AP before running its list: serial number and product id
// from "show inventory", running image and model number from "show version".

#include <optional>
#include <string>

namespace quorvane {

struct ApIdentity {
    std::string serial = "UNKNOWN";
    std::optional<std::string> product_id;  // none: the row's model stands in
    std::string image = "UNKNOWN";
    std::optional<std::string> model_number;  // none, or "unknown" in any case: row kept
};

// Output may be of any size and hold bytes that are not UTF-8.
ApIdentity identify_ap(const std::string& inventory_output, const std::string& version_output);

}  // namespace quorvane
