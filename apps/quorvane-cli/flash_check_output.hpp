#pragma once
// What flash-check prints at the end: the terminal tables or one JSON object, both read
// from the flash-check result.

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "apps/flash-report/flash_check_result.hpp"

namespace quorvane::cli {

// The page and spreadsheet written for the run; empty when not written.
struct ReportFiles {
    std::string html;
    std::string csv;
};

// Tables fitted to `width` columns (0: no limit), the next steps, the report paths and a
// closing count.
void print_flash_check_text(const flash_report::FlashCheckResult& result, const ReportFiles& files,
                            std::size_t width);

nlohmann::ordered_json flash_check_json(const flash_report::FlashCheckResult& result,
                                        const ReportFiles& files, const std::string& run_dir,
                                        double seconds);

}  // namespace quorvane::cli
