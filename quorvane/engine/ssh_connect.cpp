#include "quorvane/engine/ssh_connect.hpp"

#include <stdexcept>

namespace quorvane {

DeviceSessionPtr ssh_connect(const DeviceParams& params) {
    throw std::runtime_error("SSH sessions to " + params.host + " are not available yet");
}

}  // namespace quorvane
