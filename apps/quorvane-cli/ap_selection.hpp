#pragma once
// Which APs a subcommand works on: fetched from the controllers and narrowed by the
// options that `aps fetch`, `aps poll` and `flash-check` share, or read back from the JSON
// that `aps fetch --json` prints.

#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "quorvane/quorvane.hpp"

namespace quorvane::cli {

struct ApSelection {
    std::optional<std::string> section;      // --section S
    bool flash_checker = false;              // --flash-checker
    std::optional<std::string> site_tag;     // --site-tag T
    std::optional<std::string> model_group;  // --model-group LABEL
};

// Consumes the selection option at args[i] (and its value), advancing i; false when
// args[i] is not one of them. Throws UsageError for a missing value.
bool take_selection_option(const std::vector<std::string>& args, std::size_t& i,
                           ApSelection& selection);

struct SelectedAps {
    ApRows rows;
    std::optional<int> total;  // what the controllers report, when a site-tag filter asked
};

// Fetches and narrows the inventory as the selection says (setting the engine's
// operation and workflow first for --flash-checker). Errors of the site-tag filter
// propagate with their own text.
SelectedAps fetch_selected_aps(Quorvane& engine, const ApSelection& selection);

// {"name":..,"model":..,"ip":..,"site_tag":..,"wlc_ip":..} per row, in row order.
nlohmann::json ap_rows_json(const ApRows& rows);
// The "aps" array of a file in the `aps fetch --json` format. Throws UsageError naming
// the file when it cannot be read or is not in that format.
ApRows read_ap_rows_file(const std::string& path);

}  // namespace quorvane::cli
