#pragma once
// --simulate: the same subcommand against a simulated fleet on loopback, in a fresh base
// directory of its own.

#include <vector>

#include "apps/quorvane-cli/cli.hpp"

namespace quorvane::cli {

// The engine library fixes its base directory when it is loaded, so the program first
// restarts itself with QUORVANE_BASE_DIR pointing at a new folder; the restarted process
// starts the fleet, writes a matching config.ini and runs the subcommand.
int run_simulated(char** argv, CommonOptions common, const Subcommand& subcommand,
                  const std::vector<std::string>& args);

}  // namespace quorvane::cli
