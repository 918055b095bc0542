#include <algorithm>
#include <string>

#include "quorvane/engine/engine.hpp"

namespace quorvane {

bool Quorvane::sleep_with_progress(int seconds, bool until_stop) {
    constexpr int kSlice = 30;
    _log("[SLEEP] Waiting " + std::to_string(seconds) + "s before next command...");
    int waited = 0;
    while (waited < seconds) {
        const int slice = std::min(kSlice, seconds - waited);
        if (!until_stop) {
            sleep_seconds(slice);
        } else if (!sleep_unless_stopped(slice)) {
            return false;
        }
        waited += slice;
        if (waited < seconds) {
            _log("[SLEEP] Still waiting... " + std::to_string(waited) + "s / " +
                 std::to_string(seconds) + "s");
        }
    }
    return true;
}

}  // namespace quorvane
