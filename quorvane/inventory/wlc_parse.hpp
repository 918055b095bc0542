#pragma once
// WlcParse: reads the text a controller prints for "show ap summary", "show ap tag summary"
// and "show version" into data. Column-blind: it works on lines and whitespace-separated
// tokens only, so a location with blanks or a long model name moves columns without
// changing what is read. No operation fails on any text; odd output yields less.

#include <optional>
#include <string>
#include <vector>

#include "quorvane/inventory/ap_row.hpp"

namespace quorvane {

class WlcParse {
  public:
    // The first token of the first line holding " uptime is ", or "eWLC-9800".
    static std::string wlc_hostname_from_uptime(const std::string& output);
    // One row per AP line, in output order: name = first token, model = third token,
    // ip = first IPv4-shaped token; site_tag and wlc_ip left empty.
    static ApRows parse_ap_summary(const std::string& output);
    // The first number on the first "Number of APs" line that has one. A count beyond
    // the range of int reads as the largest int.
    static std::optional<int> parse_total_ap_cnt_from_tag_summary(const std::string& output);
    // First tokens of the lines containing `site_tag` anywhere, first-seen order, no repeats.
    static std::vector<std::string> parse_ap_names_from_tag_summary(const std::string& output,
                                                                    const std::string& site_tag);
};

}  // namespace quorvane
