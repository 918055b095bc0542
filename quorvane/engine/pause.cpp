#include <algorithm>
#include <string>

#include "quorvane/engine/engine.hpp"

namespace quorvane {

void Quorvane::sleep_with_progress(int seconds) {
    constexpr int kSlice = 30;
    _log("[SLEEP] Waiting " + std::to_string(seconds) + "s before next command...");
    int waited = 0;
    while (waited < seconds) {
        const int slice = std::min(kSlice, seconds - waited);
        sleep_seconds(slice);
        waited += slice;
        if (waited < seconds) {
            _log("[SLEEP] Still waiting... " + std::to_string(waited) + "s / " +
                 std::to_string(seconds) + "s");
        }
    }
}

}  // namespace quorvane
