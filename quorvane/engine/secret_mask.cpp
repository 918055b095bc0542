#include "quorvane/engine/secret_mask.hpp"

#include <algorithm>
#include <string_view>
#include <utility>

#include "quorvane/engine/byte_regex.hpp"

namespace quorvane {

namespace {

// "ip sftp password X", also for ftp and scp.
const RE2& transfer_password_command() {
    static const RE2 pattern(R"((?i)(ip[ \t]+(?:s?ftp|scp)[ \t]+password[ \t]+)[^\s'"]+)",
                             byte_regex_options());
    return pattern;
}

// The password of a URL: "sftp://user:X@server/...".
const RE2& url_password() {
    static const RE2 pattern(R"((?i)([a-z]+://[^\s/@:'"]*:)[^\s/@'"]+@)", byte_regex_options());
    return pattern;
}

bool is_word_edge(const std::string& text, std::size_t at) {
    if (at >= text.size()) return true;
    const char c = text[at];
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\'' || c == '"';
}

// Copies into a new string: replacing in place moves the whole tail at every occurrence,
// which is quadratic on a large output that holds a secret often. With `whole_words`,
// only occurrences with a word edge on both sides.
void replace_all(std::string& text, const std::string& secret, bool whole_words) {
    std::size_t at = text.find(secret);
    if (at == std::string::npos) return;
    std::string masked;
    masked.reserve(text.size());
    std::size_t from = 0;
    for (; at != std::string::npos; at = text.find(secret, at + 1)) {
        if (at < from) continue;
        if (whole_words &&
            !((at == 0 || is_word_edge(text, at - 1)) && is_word_edge(text, at + secret.size()))) {
            continue;
        }
        masked.append(text, from, at - from).append(kMaskedSecret);
        from = at + secret.size();
    }
    masked.append(text, from);
    text = std::move(masked);
}

}  // namespace

SecretMask::SecretMask(const IniStore& store) {
    std::vector<std::string> secrets;
    for (const auto& section : store.cfg.sections()) {
        const std::string_view digits =
            std::string_view(section).substr(std::min<std::size_t>(3, section.size()));
        if (section.rfind("WLC", 0) == 0 &&
            digits.find_first_not_of("0123456789") == std::string_view::npos) {
            secrets.push_back(store.get(section, "wlc_pasw"));
        }
    }
    secrets.push_back(store.get("AP", "ap_pasw"));
    secrets.push_back(store.get("AP", "ap_enable"));
    secrets.push_back(store.get("FTP", "ftp_pasw"));
    *this = SecretMask(std::move(secrets));
}

SecretMask::SecretMask(std::vector<std::string> secrets) : secrets_(std::move(secrets)) {
    std::erase_if(secrets_, [](const std::string& s) { return s.empty() || s == kMaskedSecret; });
    std::sort(secrets_.begin(), secrets_.end(),
              [](const auto& a, const auto& b) { return a.size() > b.size(); });
    secrets_.erase(std::unique(secrets_.begin(), secrets_.end()), secrets_.end());
}

std::string SecretMask::apply(std::string text) const {
    for (const auto& secret : secrets_) {
        replace_all(text, secret, secret.size() < kMinOutputSecretLength);
    }
    return apply_known_forms(std::move(text));
}

std::string SecretMask::apply_to_output(std::string text) const {
    for (const auto& secret : secrets_) {
        if (secret.size() >= kMinOutputSecretLength) replace_all(text, secret, false);
    }
    return apply_known_forms(std::move(text));
}

std::string SecretMask::apply_known_forms(std::string text) const {
    RE2::GlobalReplace(&text, transfer_password_command(), R"(\1****)");
    RE2::GlobalReplace(&text, url_password(), R"(\1****@)");
    return text;
}

}  // namespace quorvane
