#pragma once
// Whole lines on standard output: the engine's log falls back to it from several
// threads at once, and a line must never be split by another thread's line.

#include <string>

namespace quorvane {

void print_stdout_line(const std::string& line);

// The load line and the engine's DEBUG lines. They go to standard output unless the
// environment holds QUORVANE_DIAGNOSTICS=stderr, so that a host printing JSON on standard
// output can keep it clean; QUORVANE_DIAGNOSTICS=none leaves them out, for a host that
// shows them only on request.
void print_diagnostic_line(const std::string& line);
bool diagnostics_to_stderr();

}  // namespace quorvane
