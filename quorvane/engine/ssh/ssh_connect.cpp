#include "quorvane/engine/ssh/ssh_connect.hpp"

#include "quorvane/engine/ssh/ssh_device_session.hpp"

namespace quorvane {

DeviceSessionPtr ssh_connect(const DeviceParams& params) {
    return std::make_shared<SshDeviceSession>(params);
}

}  // namespace quorvane
