#include "quorvane/engine/stdout_lines.hpp"

#include <cstdio>
#include <mutex>

namespace quorvane {

void print_stdout_line(const std::string& line) {
    static std::mutex stdout_mutex;
    std::string text = line + "\n";
    std::lock_guard lock(stdout_mutex);
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

}  // namespace quorvane
