#include "quorvane/poller/ap_identity.hpp"

#include <algorithm>
#include <cctype>

#include "quorvane/engine/byte_regex.hpp"
#include "quorvane/engine/special_cmd.hpp"

namespace quorvane {

namespace {

std::optional<std::string> first_group(const std::string& text, const RE2& pattern) {
    std::string group;
    if (!RE2::PartialMatch(text, pattern, &group)) return std::nullopt;
    return group;
}

std::string upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

}  // namespace

ApIdentity identify_ap(const std::string& inventory_output, const std::string& version_output) {
    static const RE2 serial(R"(SN:\s*([A-Za-z0-9]+))", byte_regex_options());
    static const RE2 product_id(R"(PID:\s*([A-Za-z0-9\-]+))", byte_regex_options());
    static const RE2 image(R"(AP Running Image\s*:\s*(.*))", byte_regex_options());
    static const RE2 model_number(R"([Mm]odel\s+[Nn]umber\s*:\s*(\S+))", byte_regex_options());

    ApIdentity id;
    if (auto sn = first_group(inventory_output, serial)) id.serial = *sn;
    if (auto pid = first_group(inventory_output, product_id))
        id.product_id = strip_whitespace(*pid);
    if (auto running = first_group(version_output, image)) id.image = strip_whitespace(*running);
    if (auto number = first_group(version_output, model_number);
        number && upper(*number) != "UNKNOWN") {
        id.model_number = *number;
    }
    return id;
}

}  // namespace quorvane
