// The listening sockets, one per device address, all on one shared port.
#pragma once

#include <string>
#include <vector>

namespace fleetsim {

// Opens a non-blocking listener on every address. With port 0 a free port is chosen
// (the kernel picks one for the first address; if another address has it taken, a new
// one is tried). Throws std::runtime_error naming the address on failure; port receives
// the port in use.
std::vector<int> open_listeners(const std::vector<std::string>& addresses, int& port);

void close_all(std::vector<int>& fds);

}  // namespace fleetsim
