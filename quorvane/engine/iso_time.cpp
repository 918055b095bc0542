#include "quorvane/engine/iso_time.hpp"

#include <cstdio>
#include <ctime>

namespace quorvane {

std::string iso_local_timestamp(std::chrono::system_clock::time_point when) {
    using namespace std::chrono;
    const auto whole_seconds = floor<seconds>(when);
    const auto micros = duration_cast<microseconds>(when - whole_seconds).count();
    const std::time_t t = system_clock::to_time_t(whole_seconds);
    std::tm local{};
    localtime_r(&t, &local);
    char buf[64];
    std::size_t n = std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%S", &local);
    std::string out(buf, n);
    if (micros != 0) {
        char frac[32];
        std::snprintf(frac, sizeof frac, ".%06lld", static_cast<long long>(micros));
        out += frac;
    }
    return out;
}

}  // namespace quorvane
