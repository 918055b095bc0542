#pragma once
// Keeps the credentials the engine sends to devices out of everything it logs or writes.
// Devices still receive the real text. Masking must never rewrite device data that the
// analyser reads: a one-character enable password must not turn "17.9.4.27" into
// "****7.9.4.27". So device output loses only what is surely a secret: the command forms
// that carry one, and the exact text of a credential long enough not to occur by chance.

#include <cstddef>
#include <string>
#include <vector>

#include "quorvane/config/ini_store.hpp"

namespace quorvane {

inline constexpr const char* kMaskedSecret = "****";

class SecretMask {
  public:
    // Shorter credentials are masked in device output only inside a known form.
    static constexpr std::size_t kMinOutputSecretLength = 6;

    // The controller passwords (wlc_pasw of every WLC and WLC<n> section), the AP login
    // and enable passwords and the transfer password, as the store hands them out.
    explicit SecretMask(const IniStore& store);
    explicit SecretMask(std::vector<std::string> secrets);

    // Log lines, statuses and the log line echoing each command sent.
    // The known forms ("ip sftp password X", the password of a URL), every credential of
    // at least 6 characters wherever it stands, and a shorter one where it stands as a
    // whole word (between blanks, quotes or the ends of the text).
    std::string apply(std::string text) const;
    // Device output, and every file the analyser or a user reads as data (command blocks
    // included): the known forms and credentials of at least 6 characters only.
    std::string apply_to_output(std::string text) const;

  private:
    std::string apply_known_forms(std::string text) const;

    std::vector<std::string> secrets_;  // longest first, so no secret leaves part of another
};

}  // namespace quorvane
