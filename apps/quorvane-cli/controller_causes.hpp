#pragma once
// Names, after a controller operation, why each failed controller failed.

#include "quorvane/quorvane.hpp"

namespace quorvane::cli {

// One line per failed controller on standard error:
// "quorvane: WLC2 (10.1.1.2) failed: password refused by the device".
void print_controller_causes(const Quorvane& engine);

}  // namespace quorvane::cli
