#include "quorvane/engine/secret_mask.hpp"

#include <algorithm>
#include <utility>

#include "quorvane/config/secrets.hpp"
#include "quorvane/engine/byte_regex.hpp"

namespace quorvane {

namespace {

const RE2& sftp_password_command() {
    static const RE2 pattern(R"((?i)(ip[ \t]+sftp[ \t]+password[ \t]+)[^\s'"]+)",
                             byte_regex_options());
    return pattern;
}

// Copies into a new string: replacing in place moves the whole tail at every occurrence,
// which is quadratic on a large output that holds a short secret often.
void replace_all(std::string& text, const std::string& secret) {
    std::size_t at = text.find(secret);
    if (at == std::string::npos) return;
    std::string masked;
    masked.reserve(text.size());
    std::size_t from = 0;
    for (; at != std::string::npos; at = text.find(secret, from)) {
        masked.append(text, from, at - from).append(kMaskedSecret);
        from = at + secret.size();
    }
    masked.append(text, from);
    text = std::move(masked);
}

}  // namespace

SecretMask::SecretMask(const IniStore& store) {
    std::vector<std::string> secrets;
    const auto collect = [&](const IniDocument::Entries& entries) {
        for (const auto& [key, stored] : entries) {
            if (is_secret_key(key)) secrets.push_back(decrypt_value(stored));
        }
    };
    collect(store.cfg.defaults());
    for (const auto& section : store.cfg.all_sections()) collect(section.entries);
    *this = SecretMask(std::move(secrets));
}

SecretMask::SecretMask(std::vector<std::string> secrets) : secrets_(std::move(secrets)) {
    std::erase_if(secrets_, [](const std::string& s) { return s.empty() || s == kMaskedSecret; });
    std::sort(secrets_.begin(), secrets_.end(),
              [](const auto& a, const auto& b) { return a.size() > b.size(); });
    secrets_.erase(std::unique(secrets_.begin(), secrets_.end()), secrets_.end());
}

std::string SecretMask::apply(std::string text) const {
    for (const auto& secret : secrets_) replace_all(text, secret);
    RE2::GlobalReplace(&text, sftp_password_command(), R"(\1****)");
    return text;
}

}  // namespace quorvane
