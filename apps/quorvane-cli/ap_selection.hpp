#pragma once
// Which APs a subcommand works on: fetched from the controllers and narrowed by the
// options that `aps fetch`, `aps poll` and `flash-check` share, or read back from the JSON
// that `aps fetch --json` prints.

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "apps/quorvane-cli/engine_log.hpp"
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
    std::string why_empty;     // what left `rows` empty, in words; empty when it is not
};

// A controller that could not answer the site-tag query: selecting without it could
// widen the selection, so nothing is selected.
struct SiteTagQueryFailed : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Fetches and narrows the inventory as the selection says (setting the engine's
// operation and workflow first for --flash-checker). --site-tag keeps the rows whose
// site-tag column equals the tag exactly, and says on standard error how many rows of
// other tags that hold the tag's text it left out. `log` must be the engine's log: the
// controllers' outcomes are read from it. Throws SiteTagQueryFailed.
SelectedAps fetch_selected_aps(Quorvane& engine, EngineLog& log, const ApSelection& selection);

// The site tags of the AP rows of a "show ap tag summary" output: AP name, then the
// site-tag column, per row in output order.
std::vector<std::pair<std::string, std::string>> site_tag_rows(const std::string& output);

// {"name":..,"model":..,"ip":..,"site_tag":..,"wlc_ip":..} per row, in row order.
nlohmann::json ap_rows_json(const ApRows& rows);
// The "aps" array of a file in the `aps fetch --json` format. Throws UsageError naming
// the file when it cannot be read or is not in that format.
ApRows read_ap_rows_file(const std::string& path);

}  // namespace quorvane::cli
