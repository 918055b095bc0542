#pragma once
// Local-time ISO 8601 stamps as they appear in run headers: "2026-03-01T14:05:09" and,
// when the microseconds are not zero, "2026-03-01T14:05:09.123456".

#include <chrono>
#include <string>

namespace quorvane {

std::string iso_local_timestamp(std::chrono::system_clock::time_point when);

}  // namespace quorvane
