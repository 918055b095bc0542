#include "tessivar/scan_pool.hpp"

#include <algorithm>
#include <atomic>
#include <exception>
#include <string>
#include <thread>

#include "tessivar/log_text.hpp"

namespace tessivar {

std::vector<LogFacts> scan_files(const std::vector<std::filesystem::path>& files,
                                 unsigned workers) {
    std::vector<LogFacts> facts(files.size());
    std::vector<std::exception_ptr> errors(files.size());
    std::atomic<std::size_t> next{0};
    std::atomic<bool> failed{false};
    // Files are claimed in order, so once one fails every earlier file has been claimed and
    // will finish: stopping the claims cannot hide an earlier error.
    auto work = [&] {
        std::string buffer;
        while (!failed.load(std::memory_order_relaxed)) {
            const std::size_t i = next.fetch_add(1, std::memory_order_relaxed);
            if (i >= files.size()) return;
            try {
                facts[i] = scan_log(read_log_text(files[i], buffer));
            } catch (...) {
                errors[i] = std::current_exception();
                failed.store(true, std::memory_order_relaxed);
            }
        }
    };
    const std::size_t threads = std::min<std::size_t>(std::max(workers, 1u), files.size());
    {
        std::vector<std::jthread> pool;
        for (std::size_t t = 1; t < threads; ++t) pool.emplace_back(work);
        work();
    }
    for (const std::exception_ptr& error : errors) {
        if (error) std::rethrow_exception(error);
    }
    return facts;
}

unsigned default_scan_workers() {
    constexpr unsigned kMaxWorkers = 4;
    return std::clamp(std::thread::hardware_concurrency(), 1u, kMaxWorkers);
}

}  // namespace tessivar
