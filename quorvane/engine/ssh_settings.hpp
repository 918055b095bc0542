#pragma once
// The [SSH] section of config.ini: settings of every device session.

#include <string>

#include "quorvane/config/ini_store.hpp"

namespace quorvane {

inline constexpr const char* kSshSection = "SSH";
inline constexpr const char* kLegacyAlgorithmsKey = "legacy_algorithms";

// "yes" (also when empty) or "no", in any case; anything else is an EngineError that
// names the key and the values it takes.
bool parse_legacy_algorithms(const std::string& value);

// [SSH] legacy_algorithms, "yes" when unset.
bool legacy_algorithms_setting(const IniStore& ini);

}  // namespace quorvane
