#pragma once
// Key folding of the INI dialect: keys are compared and stored lower-cased.

#include <string>

namespace quorvane {

// Lower-cases ASCII letters; other characters are kept as they are, so keys written in
// other scripts must match exactly.
std::string fold_key(const std::string& key);

}  // namespace quorvane
