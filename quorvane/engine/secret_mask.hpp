#pragma once
// Keeps configured secrets out of everything the engine logs or writes. Devices still
// receive the real text; only what reaches a log line, a status or a file is masked.

#include <string>
#include <vector>

#include "quorvane/config/ini_store.hpp"

namespace quorvane {

inline constexpr const char* kMaskedSecret = "****";

class SecretMask {
  public:
    // Every non-empty value of a secret key (any section, DEFAULT included), as the store
    // hands it out in plain text.
    explicit SecretMask(const IniStore& store);
    explicit SecretMask(std::vector<std::string> secrets);

    // The text with each secret value replaced by "****", and the argument of every
    // "ip sftp password" command as well, configured or not.
    std::string apply(std::string text) const;

  private:
    std::vector<std::string> secrets_;  // longest first, so no secret leaves part of another
};

}  // namespace quorvane
