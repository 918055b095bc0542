#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <string>
#include <vector>

#include "quorvane/engine/ssh/descriptor_budget.hpp"

namespace quorvane {
namespace {

// Sets the soft open-files limit for one test and puts the old one back.
class SoftLimit {
  public:
    explicit SoftLimit(long soft) {
        ::getrlimit(RLIMIT_NOFILE, &saved_);
        rlimit lim = saved_;
        lim.rlim_cur = static_cast<rlim_t>(soft);
        EXPECT_EQ(::setrlimit(RLIMIT_NOFILE, &lim), 0);
    }
    ~SoftLimit() { ::setrlimit(RLIMIT_NOFILE, &saved_); }
    SoftLimit(const SoftLimit&) = delete;
    SoftLimit& operator=(const SoftLimit&) = delete;

  private:
    rlimit saved_{};
};

TEST(DescriptorBudgetTest, SessionsFitUpToTheLimitAndBeyondItTheTextSaysWhatToRaise) {
    const long in_use = descriptor_budget(0).in_use;
    ASSERT_GT(in_use, 2);  // at least the standard streams
    const long room_for_100 = in_use + 100 * kDescriptorsPerWorker + kDescriptorReserve;
    struct Case {
        long soft_limit;
        int sessions;
        bool fits;
    };
    const std::vector<Case> cases = {
        {room_for_100, 100, true},
        {room_for_100, 101, false},
        {room_for_100, 0, true},
        {room_for_100, -5, true},
        {in_use + kDescriptorReserve - 1, 0, false},
    };
    for (const Case& c : cases) {
        const SoftLimit limit(c.soft_limit);
        const std::string what =
            std::to_string(c.sessions) + " sessions, limit " + std::to_string(c.soft_limit);
        const DescriptorBudget budget = descriptor_budget(c.sessions);
        EXPECT_EQ(budget.limit, c.soft_limit) << what;
        EXPECT_EQ(budget.fits(), c.fits) << what;
        const std::string text = check_descriptor_budget(c.sessions);
        if (c.fits) {
            EXPECT_EQ(text, "") << what;
        } else {
            const std::string needed = std::to_string(budget.needed);
            EXPECT_EQ(text, "this poll needs about " + needed + " descriptors for " +
                                std::to_string(c.sessions) +
                                " sessions at once but the open-files limit is " +
                                std::to_string(c.soft_limit) + "; raise it with ulimit -n " +
                                needed)
                << what;
        }
    }
}

TEST(DescriptorBudgetTest, RaisingTheLimitLiftsTheSoftLimitToTheHardOne) {
    rlimit lim{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &lim), 0);
    if (lim.rlim_max == RLIM_INFINITY || lim.rlim_max < 128) GTEST_SKIP() << "no finite hard limit";
    const SoftLimit low(64);
    EXPECT_EQ(raise_open_files_limit(), static_cast<long>(lim.rlim_max));
    EXPECT_THAT(check_descriptor_budget(1), ::testing::IsEmpty());
}

}  // namespace
}  // namespace quorvane
