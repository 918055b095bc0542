#pragma once
// --simulate: the same subcommand against a simulated fleet on loopback, in a fresh base
// directory of its own.

#include "apps/quorvane-cli/cli.hpp"

namespace quorvane::cli {

// Called by every command once its arguments are understood, before it reads settings or
// touches a device, so that a usage error never starts the simulator. With --simulate it
// restarts the program in a fresh base directory (the engine library fixes its base
// directory when it is loaded), then starts the demo fleet and writes a matching
// config.ini. Returns the SSH port of the devices.
int start_devices(const CommonOptions& common);

// True once start_devices started the simulated fleet in this process.
bool simulating();

// Stops the simulated fleet, if one runs, and says where its configuration and output are.
void stop_simulation();

}  // namespace quorvane::cli
