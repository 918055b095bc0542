#include "quorvane/config/base64.hpp"

#include <array>

namespace quorvane {

namespace {

constexpr std::string_view kAlphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr unsigned char kNotInAlphabet = 0xFF;

constexpr std::array<unsigned char, 256> make_decode_table() {
    std::array<unsigned char, 256> table{};
    for (auto& entry : table) entry = kNotInAlphabet;
    for (std::size_t i = 0; i < kAlphabet.size(); ++i) {
        table[static_cast<unsigned char>(kAlphabet[i])] = static_cast<unsigned char>(i);
    }
    return table;
}
constexpr std::array<unsigned char, 256> kDecode = make_decode_table();

}  // namespace

std::string base64_encode(std::string_view bytes) {
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t i = 0;
    const auto at = [&](std::size_t k) { return static_cast<unsigned char>(bytes[k]); };
    for (; i + 3 <= bytes.size(); i += 3) {
        const unsigned group = (at(i) << 16) | (at(i + 1) << 8) | at(i + 2);
        out += kAlphabet[(group >> 18) & 63];
        out += kAlphabet[(group >> 12) & 63];
        out += kAlphabet[(group >> 6) & 63];
        out += kAlphabet[group & 63];
    }
    const std::size_t rest = bytes.size() - i;
    if (rest == 1) {
        const unsigned group = at(i) << 16;
        out += kAlphabet[(group >> 18) & 63];
        out += kAlphabet[(group >> 12) & 63];
        out += "==";
    } else if (rest == 2) {
        const unsigned group = (at(i) << 16) | (at(i + 1) << 8);
        out += kAlphabet[(group >> 18) & 63];
        out += kAlphabet[(group >> 12) & 63];
        out += kAlphabet[(group >> 6) & 63];
        out += '=';
    }
    return out;
}

std::optional<std::string> base64_decode(std::string_view text) {
    std::string out;
    out.reserve(text.size() / 4 * 3);
    int quad_pos = 0;  // characters of the current group of four seen so far
    int pads = 0;      // "=" seen since the last alphabet character
    unsigned left = 0;
    for (const char ch : text) {
        if (ch == '=') {
            // "=" only counts once at least two characters of the group are in.
            if (quad_pos >= 2 && quad_pos + ++pads >= 4) return out;
            continue;
        }
        const unsigned char value = kDecode[static_cast<unsigned char>(ch)];
        if (value == kNotInAlphabet) continue;
        pads = 0;
        switch (quad_pos) {
            case 0:
                left = value;
                quad_pos = 1;
                break;
            case 1:
                out += static_cast<char>((left << 2) | (value >> 4));
                left = value & 0x0F;
                quad_pos = 2;
                break;
            case 2:
                out += static_cast<char>((left << 4) | (value >> 2));
                left = value & 0x03;
                quad_pos = 3;
                break;
            default:
                out += static_cast<char>((left << 6) | value);
                quad_pos = 0;
                break;
        }
    }
    if (quad_pos != 0) return std::nullopt;
    return out;
}

}  // namespace quorvane
