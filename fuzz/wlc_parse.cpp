// Controller tables and the line splitter under them on any bytes; the tag is what follows
// the first NUL. Nothing read is empty, and lines and tokens never hold their separators.
#include <set>

#include "fuzz/fuzz_support.hpp"
#include "quorvane/inventory/text_lines.hpp"
#include "quorvane/inventory/wlc_parse.hpp"
#include "quorvane/paths/paths.hpp"

using namespace quorvane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::string> in = fuzz_support::fields(fuzz_support::as_text(data, size), 2);
    const std::string& output = in[0];

    for (std::string_view line : split_text_lines(output)) {
        FUZZ_CHECK(split_text_lines(line).size() <= 1);
        for (std::string_view token : split_tokens(line)) {
            FUZZ_CHECK(split_tokens(token) == std::vector<std::string_view>{token});
        }
        FUZZ_CHECK(split_tokens(strip_text(line)) == split_tokens(line));
    }

    FUZZ_CHECK(!WlcParse::wlc_hostname_from_uptime(output).empty());
    for (const ApRowPtr& row : WlcParse::parse_ap_summary(output)) {
        FUZZ_CHECK(_is_ipv4(row->ip) && !row->name.empty() && !row->model.empty());
    }
    if (const auto count = WlcParse::parse_total_ap_cnt_from_tag_summary(output)) {
        FUZZ_CHECK(*count >= 0);
    }
    const std::vector<std::string> names = WlcParse::parse_ap_names_from_tag_summary(output, in[1]);
    const std::set<std::string> distinct(names.begin(), names.end());
    FUZZ_CHECK(distinct.size() == names.size() && !distinct.contains(""));
    return 0;
}
