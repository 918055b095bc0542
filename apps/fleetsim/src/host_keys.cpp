#include "host_keys.hpp"

#include <libssh/libssh.h>
#include <unistd.h>

#include <stdexcept>

namespace fleetsim {
namespace {

void ensure_key(const std::filesystem::path& file, ssh_keytypes_e type, int bits) {
    if (std::filesystem::exists(file)) return;
    ssh_key key = nullptr;
    if (ssh_pki_generate(type, bits, &key) != SSH_OK)
        throw std::runtime_error("fleetsim: cannot generate a host key");
    // Written under a private name and renamed, so that two simulators sharing a state
    // folder never read a half-written key.
    std::filesystem::path tmp = file;
    tmp += ".tmp" + std::to_string(::getpid());
    int rc = ssh_pki_export_privkey_file(key, nullptr, nullptr, nullptr, tmp.c_str());
    ssh_key_free(key);
    if (rc != SSH_OK) throw std::runtime_error("fleetsim: cannot write host key " + tmp.string());
    std::error_code ec;
    std::filesystem::rename(tmp, file, ec);
    if (ec) throw std::runtime_error("fleetsim: cannot store host key " + file.string());
}

}  // namespace

HostKeyFiles ensure_host_keys(const std::filesystem::path& state_dir, bool with_rsa) {
    std::error_code ec;
    std::filesystem::create_directories(state_dir, ec);
    if (ec) throw std::runtime_error("fleetsim: cannot create state folder " + state_dir.string());
    HostKeyFiles files{
        state_dir / "ssh_host_ed25519_key", state_dir / "ssh_host_ed25519_key.alternate", {}};
    ensure_key(files.primary, SSH_KEYTYPE_ED25519, 0);
    ensure_key(files.alternate, SSH_KEYTYPE_ED25519, 0);
    if (with_rsa) {
        files.rsa = state_dir / "ssh_host_rsa_key";
        ensure_key(files.rsa, SSH_KEYTYPE_RSA, 2048);
    }
    return files;
}

}  // namespace fleetsim
