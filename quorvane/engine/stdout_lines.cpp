#include "quorvane/engine/stdout_lines.hpp"

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string_view>

namespace quorvane {

namespace {

void print_line(std::FILE* stream, const std::string& line) {
    static std::mutex stream_mutex;
    std::string text = line + "\n";
    std::lock_guard lock(stream_mutex);
    std::fwrite(text.data(), 1, text.size(), stream);
    std::fflush(stream);
}

}  // namespace

void print_stdout_line(const std::string& line) { print_line(stdout, line); }

bool diagnostics_to_stderr() {
    const char* where = std::getenv("QUORVANE_DIAGNOSTICS");
    return where && std::string_view(where) == "stderr";
}

void print_diagnostic_line(const std::string& line) {
    const char* where = std::getenv("QUORVANE_DIAGNOSTICS");
    if (where && std::string_view(where) == "none") return;
    print_line(diagnostics_to_stderr() ? stderr : stdout, line);
}

}  // namespace quorvane
