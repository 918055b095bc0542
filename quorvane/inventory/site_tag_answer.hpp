#pragma once
// One controller's answer to the site-tag queries of the AP filters, for hosts that must
// tell a controller that could not be asked from one that does not know the tag.

#include <optional>
#include <string>

namespace quorvane {

struct SiteTagAnswer {
    std::string section;
    // Why the controller could not be asked; empty when it answered both queries.
    std::string error;
    // The AP count of "show ap tag summary", when its output has one.
    std::optional<int> total;
    // "show ap tag summary", whole.
    std::string summary;
    // "show ap tag summary | inc {site_tag}": the lines the controller's filter let through.
    std::string tagged;
};

}  // namespace quorvane
