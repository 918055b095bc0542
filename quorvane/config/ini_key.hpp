#pragma once
// Key folding of the INI dialect: keys are compared and stored lower-cased.

#include <string>

namespace quorvane {

// Lower-cases the letters of every script ("Größe" and "GRÖSSE" stay two keys: only
// one-to-one case mappings apply); anything that is not a letter is kept as it is.
std::string fold_key(const std::string& key);

}  // namespace quorvane
