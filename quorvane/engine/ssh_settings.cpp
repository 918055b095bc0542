#include "quorvane/engine/ssh_settings.hpp"

#include "quorvane/engine/errors.hpp"
#include "quorvane/paths/utf8.hpp"

namespace quorvane {

bool parse_legacy_algorithms(const std::string& value) {
    const std::string folded = ascii_lower(value);
    if (folded.empty() || folded == "yes") return true;
    if (folded == "no") return false;
    throw EngineError("[SSH] legacy_algorithms in config.ini is '" + value +
                      "'; set it to yes or no");
}

bool legacy_algorithms_setting(const IniStore& ini) {
    return parse_legacy_algorithms(ini.get(kSshSection, kLegacyAlgorithmsKey, ""));
}

}  // namespace quorvane
