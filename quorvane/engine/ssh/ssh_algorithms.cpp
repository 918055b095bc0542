#include "quorvane/engine/ssh/ssh_algorithms.hpp"

namespace quorvane {
namespace {

// libssh's own preference, kept exactly, so modern servers negotiate what they always did.
SshAlgorithms modern_algorithms() {
    return {
        {"curve25519-sha256", "curve25519-sha256@libssh.org", "ecdh-sha2-nistp256",
         "ecdh-sha2-nistp384", "ecdh-sha2-nistp521", "diffie-hellman-group18-sha512",
         "diffie-hellman-group16-sha512", "diffie-hellman-group-exchange-sha256",
         "diffie-hellman-group14-sha256"},
        {"ssh-ed25519", "ecdsa-sha2-nistp521", "ecdsa-sha2-nistp384", "ecdsa-sha2-nistp256",
         "sk-ssh-ed25519@openssh.com", "sk-ecdsa-sha2-nistp256@openssh.com", "rsa-sha2-512",
         "rsa-sha2-256"},
        {"chacha20-poly1305@openssh.com", "aes256-gcm@openssh.com", "aes128-gcm@openssh.com",
         "aes256-ctr", "aes192-ctr", "aes128-ctr"},
        {"hmac-sha2-256-etm@openssh.com", "hmac-sha2-512-etm@openssh.com", "hmac-sha2-256",
         "hmac-sha2-512"},
    };
}

// Whether this libssh build takes name for option; it refuses a list of unknown names
// only, so each name is tried alone.
bool accepted(ssh_options_e option, const std::string& name) {
    ssh_session probe = ssh_new();
    if (probe == nullptr) return false;
    const bool ok = ssh_options_set(probe, option, name.c_str()) == SSH_OK;
    ssh_free(probe);
    return ok;
}

void append_accepted(std::vector<std::string>& offer, const std::vector<std::string>& older,
                     ssh_options_e option) {
    for (const auto& name : older) {
        if (accepted(option, name)) offer.push_back(name);
    }
}

SshAlgorithms with_legacy() {
    SshAlgorithms offer = modern_algorithms();
    const SshAlgorithms& older = legacy_ssh_algorithms();
    append_accepted(offer.key_exchanges, older.key_exchanges, SSH_OPTIONS_KEY_EXCHANGE);
    append_accepted(offer.host_keys, older.host_keys, SSH_OPTIONS_HOSTKEYS);
    append_accepted(offer.ciphers, older.ciphers, SSH_OPTIONS_CIPHERS_C_S);
    append_accepted(offer.macs, older.macs, SSH_OPTIONS_HMAC_C_S);
    return offer;
}

}  // namespace

std::string comma_list(const std::vector<std::string>& names) {
    std::string list;
    for (const auto& name : names) list += (list.empty() ? "" : ",") + name;
    return list;
}

const SshAlgorithms& legacy_ssh_algorithms() {
    static const SshAlgorithms older{
        {"diffie-hellman-group14-sha1", "diffie-hellman-group-exchange-sha1",
         "diffie-hellman-group1-sha1"},
        {"ssh-rsa", "ssh-dss"},
        {"aes128-cbc", "aes192-cbc", "aes256-cbc", "3des-cbc"},
        {"hmac-sha1"},
    };
    return older;
}

const SshAlgorithms& offered_ssh_algorithms(bool legacy) {
    static const SshAlgorithms modern = modern_algorithms();
    static const SshAlgorithms all = with_legacy();
    return legacy ? all : modern;
}

bool offer_ssh_algorithms(ssh_session session, bool legacy) {
    const SshAlgorithms& offer = offered_ssh_algorithms(legacy);
    const std::string ciphers = comma_list(offer.ciphers);
    const std::string macs = comma_list(offer.macs);
    return ssh_options_set(session, SSH_OPTIONS_KEY_EXCHANGE,
                           comma_list(offer.key_exchanges).c_str()) == SSH_OK &&
           ssh_options_set(session, SSH_OPTIONS_HOSTKEYS, comma_list(offer.host_keys).c_str()) ==
               SSH_OK &&
           ssh_options_set(session, SSH_OPTIONS_CIPHERS_C_S, ciphers.c_str()) == SSH_OK &&
           ssh_options_set(session, SSH_OPTIONS_CIPHERS_S_C, ciphers.c_str()) == SSH_OK &&
           ssh_options_set(session, SSH_OPTIONS_HMAC_C_S, macs.c_str()) == SSH_OK &&
           ssh_options_set(session, SSH_OPTIONS_HMAC_S_C, macs.c_str()) == SSH_OK;
}

}  // namespace quorvane
