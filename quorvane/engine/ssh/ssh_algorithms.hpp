#pragma once
// Which key exchanges, host key types, ciphers and MACs a session offers, in order of
// preference. The modern ones come first, so a modern server always settles on one of
// them; the older ones that device firmware still uses follow when asked for.

#include <libssh/libssh.h>

#include <string>
#include <vector>

namespace quorvane {

struct SshAlgorithms {
    std::vector<std::string> key_exchanges;
    std::vector<std::string> host_keys;
    std::vector<std::string> ciphers;
    std::vector<std::string> macs;
};

// The offer with or without the older algorithms; an older one this libssh build cannot
// use (ssh-dss, say) is left out.
const SshAlgorithms& offered_ssh_algorithms(bool legacy);

// The older algorithms, whether or not this libssh build offers them.
const SshAlgorithms& legacy_ssh_algorithms();

// Sets the offer on a session that has not connected yet; false when libssh refuses it.
bool offer_ssh_algorithms(ssh_session session, bool legacy);

std::string comma_list(const std::vector<std::string>& names);

}  // namespace quorvane
