#pragma once
// The one error type of the SSH session layer. Its text always names the device it
// concerns; its reason, when the layer could tell the cause, says it without the detail.

#include <string>

#include "quorvane/engine/device_session.hpp"

namespace quorvane {

class SshError : public DeviceError {
  public:
    using DeviceError::DeviceError;
};

// "host", or "host:port" when the port is not the standard one, for error texts.
inline std::string ssh_address_label(const std::string& host, int port) {
    return port == 22 ? host : host + ":" + std::to_string(port);
}

}  // namespace quorvane
