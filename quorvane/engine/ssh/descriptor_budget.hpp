#pragma once
// Open-file budget of a run that holds many device sessions at once. Without it, a run
// whose pool outgrows the open-files limit fails device after device with "Too many open
// files"; with it, the run can say once, before it starts, what limit it needs.

#include <string>

namespace quorvane {

// Descriptors an open SshDeviceSession holds: its TCP socket and its wake-up eventfd.
// Measured by the session benchmark (/proc/self/fd grows by 2 per session held open and
// returns to its count after disconnect).
inline constexpr long kDescriptorsPerSession = 2;
// A worker talking to one device also opens one descriptor at a time now and then: the
// port probe's socket, or its log file for an append.
inline constexpr long kDescriptorsPerWorker = kDescriptorsPerSession + 1;
// Kept free for everything else a run opens: run files, the configuration, libraries.
inline constexpr long kDescriptorReserve = 64;

struct DescriptorBudget {
    long in_use = 0;  // open in this process now
    long needed = 0;  // in_use + sessions * kDescriptorsPerWorker + kDescriptorReserve
    long limit = -1;  // the soft open-files limit; -1 when there is none
    bool fits() const { return limit < 0 || needed <= limit; }
};

// What `sessions` sessions at once, each on its own worker, would need next to the descriptors open
// now.
DescriptorBudget descriptor_budget(int sessions);

// Empty when the sessions fit; otherwise the text to show, such as "this poll needs about
// 1564 descriptors for 500 sessions at once but the open-files limit is 1024; raise it
// with ulimit -n 1564".
std::string check_descriptor_budget(int sessions);

// Raises the soft open-files limit to the hard one (the kernel allows that to any
// process); returns the soft limit in force afterwards, -1 for none. For host programs,
// called first thing: the library itself never changes process limits.
long raise_open_files_limit();

}  // namespace quorvane
