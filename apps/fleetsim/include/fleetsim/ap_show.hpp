// What an AP prints for the show commands a poll sends, from its description and what it
// remembers. The AP command line answers with these; a tool that needs the logs a poll of
// the fleet would write can take them without a session.
#pragma once

#include <string>

#include "fleetsim/fleet.hpp"
#include "fleetsim/simulator.hpp"

namespace fleetsim {

std::string ap_show_inventory(const Device& ap);
std::string ap_show_version(const Device& ap, const DeviceState& state);
std::string ap_show_boot(const Device& ap);
std::string ap_show_filesystems(const Device& ap, const DeviceState& state);
std::string ap_show_flash(const Device& ap);
std::string ap_show_image_integrity(const Device& ap);

}  // namespace fleetsim
