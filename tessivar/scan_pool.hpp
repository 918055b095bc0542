#pragma once

#include <filesystem>
#include <vector>

#include "tessivar/log_facts.hpp"

namespace tessivar {

// Reads and scans every file once, spreading the files over `workers` threads. The facts come
// back in the order of `files`. When files fail, the error of the first failing one in that
// order is rethrown, as a one-by-one scan would have done.
std::vector<LogFacts> scan_files(const std::vector<std::filesystem::path>& files, unsigned workers);

// The number of threads the folder analysis scans with.
unsigned default_scan_workers();

}  // namespace tessivar
