#pragma once
// The flash check as a spreadsheet: RFC 4180, UTF-8 with a byte-order mark (so a spreadsheet
// opens it as UTF-8 as is), one row per AP selected.

#include <string>
#include <string_view>

#include "apps/flash-report/flash_check_result.hpp"

namespace flash_report {

// One field: a text that starts like a formula gets a leading "'" so a spreadsheet shows it
// as text; quoted when it holds a comma, a quote or a line break.
std::string csv_field(std::string_view text);

std::string csv_text(const FlashCheckResult& result);

}  // namespace flash_report
