#include "quorvane/config/secrets.hpp"

#include <stdexcept>
#include <string_view>

#include "quorvane/config/base64.hpp"
#include "quorvane/paths/utf8.hpp"

namespace quorvane {

std::string _xor_bytes(const std::string& data, const std::string& key) {
    if (key.empty()) throw std::invalid_argument("_xor_bytes: the key must not be empty");
    std::string out(data.size(), '\0');
    for (std::size_t i = 0; i < data.size(); ++i) {
        out[i] = static_cast<char>(data[i] ^ key[i % key.size()]);
    }
    return out;
}

std::string encrypt_value(const std::string& val) {
    if (val.empty()) return val;
    // Bytes that are not UTF-8 would make the stored form undecodable, so they go first.
    return ENC_PREFIX + base64_encode(_xor_bytes(drop_invalid_utf8(val), _XOR_KEY));
}

std::string decrypt_value(const std::string& val) {
    const std::string_view prefix = ENC_PREFIX;
    if (val.empty() || val.compare(0, prefix.size(), prefix) != 0) return val;
    const std::optional<std::string> scrambled =
        base64_decode(std::string_view(val).substr(prefix.size()));
    if (!scrambled) return val;
    std::string plain = _xor_bytes(*scrambled, _XOR_KEY);
    if (!is_valid_utf8(plain)) return val;
    return plain;
}

}  // namespace quorvane
