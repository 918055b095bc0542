#pragma once
// The flash check as one self-contained page to mail or attach to a ticket: run summary,
// a chart by outcome, the susceptible APs with their evidence, the APs not checked or not
// decided, and the healthy ones. Nothing is loaded from elsewhere.

#include <filesystem>
#include <string>
#include <string_view>

#include "apps/flash-report/flash_check_result.hpp"

namespace flash_report {

std::string html_escape(std::string_view text);

// `page_path` is where the page will be written; links to the AP logs are relative to it.
std::string html_page(const FlashCheckResult& result, const std::filesystem::path& page_path);

// The page's style sheet and script, kept apart from the markup.
extern const std::string_view PAGE_STYLE;
extern const std::string_view PAGE_SCRIPT;

}  // namespace flash_report
