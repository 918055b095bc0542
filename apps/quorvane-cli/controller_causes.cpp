#include "apps/quorvane-cli/controller_causes.hpp"

#include <iostream>

namespace quorvane::cli {

void print_controller_causes(const Quorvane& engine) {
    for (const auto& [section, reason] : engine.controller_failures.snapshot()) {
        const std::string ip = engine.ini.get(section, "wlc_ip", "");
        std::cerr << "quorvane: " << section << (ip.empty() ? "" : " (" + ip + ")")
                  << " failed: " << reason << "\n";
    }
}

}  // namespace quorvane::cli
