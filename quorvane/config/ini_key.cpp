#include "quorvane/config/ini_key.hpp"

#include "quorvane/paths/utf8.hpp"

namespace quorvane {

std::string fold_key(const std::string& key) { return lower_case_utf8(key); }

}  // namespace quorvane
