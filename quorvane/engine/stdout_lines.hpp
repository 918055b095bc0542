#pragma once
// Whole lines on standard output: the engine's log falls back to it from several
// threads at once, and a line must never be split by another thread's line.

#include <string>

namespace quorvane {

void print_stdout_line(const std::string& line);

}  // namespace quorvane
