#include "quorvane/engine/secret_mask.hpp"

#include <re2/re2.h>

#include <algorithm>

#include "quorvane/config/secrets.hpp"

namespace quorvane {

namespace {

// Device output may hold any bytes; Latin-1 matching takes them one by one.
RE2::Options latin1() {
    RE2::Options options;
    options.set_encoding(RE2::Options::EncodingLatin1);
    return options;
}

const RE2& sftp_password_command() {
    static const RE2 pattern(R"((?i)(ip[ \t]+sftp[ \t]+password[ \t]+)[^\s'"]+)", latin1());
    return pattern;
}

void replace_all(std::string& text, const std::string& secret) {
    for (auto at = text.find(secret); at != std::string::npos;
         at = text.find(secret, at + std::char_traits<char>::length(kMaskedSecret))) {
        text.replace(at, secret.size(), kMaskedSecret);
    }
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
