#include "quorvane/paths/utf8.hpp"

namespace quorvane {

namespace {

// Length of the valid sequence starting at `pos`, or 0 when invalid; `consumed` receives
// the length of the maximal invalid subpart (at least 1) in that case.
std::size_t sequence_length(std::string_view text, std::size_t pos, std::size_t& consumed) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(pos);
    consumed = 1;
    if (lead < 0x80) return 1;

    std::size_t length;
    unsigned char second_min = 0x80, second_max = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) second_min = 0xA0;  // overlong
        if (lead == 0xED) second_max = 0x9F;  // surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) second_min = 0x90;  // overlong
        if (lead == 0xF4) second_max = 0x8F;  // above U+10FFFF
    } else {
        return 0;
    }

    for (std::size_t i = 1; i < length; ++i) {
        if (pos + i >= text.size()) return 0;
        const unsigned char b = byte(pos + i);
        const unsigned char min = i == 1 ? second_min : 0x80;
        const unsigned char max = i == 1 ? second_max : 0xBF;
        if (b < min || b > max) return 0;
        consumed = i + 1;
    }
    return length;
}

}  // namespace

std::size_t first_invalid_utf8(std::string_view text) {
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t consumed;
        const std::size_t length = sequence_length(text, pos, consumed);
        if (length == 0) return pos;
        pos += length;
    }
    return std::string_view::npos;
}

std::string drop_invalid_utf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t consumed;
        const std::size_t length = sequence_length(text, pos, consumed);
        if (length == 0) {
            pos += consumed;
        } else {
            out.append(text.substr(pos, length));
            pos += length;
        }
    }
    return out;
}

std::size_t utf8_length(std::string_view text) {
    std::size_t count = 0;
    for (const char c : text) {
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++count;
    }
    return count;
}

std::string utf8_prefix(std::string_view text, std::size_t count) {
    std::size_t seen = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
            if (seen == count) return std::string(text.substr(0, i));
            ++seen;
        }
    }
    return std::string(text);
}

}  // namespace quorvane
