#pragma once
// --simulate: the logs a flash-check poll of the simulated demo fleet writes, so that the
// analyser can be tried without devices or a poll.

#include <filesystem>

namespace tessivar::cli {

// Creates a fresh folder under the temporary directory and writes one log per demo AP
// that a poll gets through (an unreachable AP or one whose session ends leaves none).
// Throws std::system_error or std::runtime_error naming what could not be written.
std::filesystem::path write_simulated_logs();

}  // namespace tessivar::cli
