// Host keys kept in the state folder, so that a client that remembers host keys keeps
// working across restarts. The alternate key lets a device present a changed key; the RSA
// key is what devices with only older SSH algorithms present.
#pragma once

#include <filesystem>

namespace fleetsim {

struct HostKeyFiles {
    std::filesystem::path primary;
    std::filesystem::path alternate;
    std::filesystem::path rsa;  // empty unless asked for
};

// Creates the folder and any missing key, the RSA key only with_rsa (it takes a while to
// make); throws std::runtime_error on failure.
HostKeyFiles ensure_host_keys(const std::filesystem::path& state_dir, bool with_rsa);

}  // namespace fleetsim
