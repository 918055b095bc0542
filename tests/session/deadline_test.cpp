#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "quorvane/engine/ssh/ssh_error.hpp"
#include "quorvane/engine/ssh/ssh_transport.hpp"

namespace quorvane {
namespace {

TEST(DeadlineTest, TimeOutsAreClampedToWhatTheClockHoldsAndNaNIsRefused) {
    constexpr double kInf = std::numeric_limits<double>::infinity();
    struct Case {
        double seconds;
        double expected;  // seconds from now
    };
    const std::vector<Case> cases = {
        {0, 0},
        {2.5, 2.5},
        {-3, 0},
        {-kInf, 0},
        {std::numeric_limits<double>::denorm_min(), 0},
        {kLongestWaitSeconds, kLongestWaitSeconds},
        {1e10, kLongestWaitSeconds},
        {1e300, kLongestWaitSeconds},
        {std::numeric_limits<double>::max(), kLongestWaitSeconds},
        {kInf, kLongestWaitSeconds},
    };
    for (const Case& c : cases) {
        const auto before = SshClock::now();
        const auto deadline = deadline_after(c.seconds);
        const auto after = SshClock::now();
        const auto expected = std::chrono::duration_cast<SshClock::duration>(
            std::chrono::duration<double>(c.expected));
        EXPECT_GE(deadline - before, expected) << c.seconds;
        EXPECT_LE(deadline - after, expected + std::chrono::microseconds(1)) << c.seconds;
    }
    for (const double nan : {std::nan(""), -std::nan("")}) {
        try {
            deadline_after(nan);
            ADD_FAILURE() << "NaN accepted";
        } catch (const SshError& e) {
            EXPECT_STREQ(e.what(), "Invalid time-out: not a number of seconds");
        }
    }
}

}  // namespace
}  // namespace quorvane
