#include "quorvane/engine/ssh/descriptor_budget.hpp"

#include <sys/resource.h>

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <system_error>

namespace quorvane {
namespace {

long soft_limit() {
    rlimit lim{};
    if (::getrlimit(RLIMIT_NOFILE, &lim) != 0 || lim.rlim_cur == RLIM_INFINITY) return -1;
    return static_cast<long>(lim.rlim_cur);
}

long open_descriptors() {
    std::error_code ec;
    std::filesystem::directory_iterator entries("/proc/self/fd", ec);
    if (ec) return 0;
    // The listing's own descriptor is among the entries and closes with it.
    return static_cast<long>(std::distance(begin(entries), end(entries))) - 1;
}

}  // namespace

DescriptorBudget descriptor_budget(int sessions) {
    DescriptorBudget budget;
    budget.in_use = open_descriptors();
    budget.needed = budget.in_use +
                    static_cast<long>(std::max(sessions, 0)) * kDescriptorsPerWorker +
                    kDescriptorReserve;
    budget.limit = soft_limit();
    return budget;
}

std::string check_descriptor_budget(int sessions) {
    const DescriptorBudget budget = descriptor_budget(sessions);
    if (budget.fits()) return {};
    const std::string needed = std::to_string(budget.needed);
    return "this poll needs about " + needed + " descriptors for " + std::to_string(sessions) +
           " sessions at once but the open-files limit is " + std::to_string(budget.limit) +
           "; raise it with ulimit -n " + needed;
}

long raise_open_files_limit() {
    rlimit lim{};
    if (::getrlimit(RLIMIT_NOFILE, &lim) == 0 && lim.rlim_cur < lim.rlim_max) {
        lim.rlim_cur = lim.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &lim);
    }
    return soft_limit();
}

}  // namespace quorvane
