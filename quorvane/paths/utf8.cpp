#include "quorvane/paths/utf8.hpp"

#include <locale.h>
#include <wctype.h>

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

struct CodePoint {
    char32_t value;
    std::size_t length;  // 0 when the bytes at the position are not UTF-8
};

CodePoint decode_at(std::string_view text, std::size_t pos) {
    std::size_t consumed;
    const std::size_t length = sequence_length(text, pos, consumed);
    if (length == 0) return {0, 0};
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[pos + i]); };
    char32_t value = length == 1 ? byte(0) : byte(0) & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) value = (value << 6) | (byte(i) & 0x3F);
    return {value, length};
}

void encode(char32_t value, std::string& out) {
    if (value < 0x80) {
        out += static_cast<char>(value);
    } else if (value < 0x800) {
        out += static_cast<char>(0xC0 | (value >> 6));
        out += static_cast<char>(0x80 | (value & 0x3F));
    } else if (value < 0x10000) {
        out += static_cast<char>(0xE0 | (value >> 12));
        out += static_cast<char>(0x80 | ((value >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (value & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (value >> 18));
        out += static_cast<char>(0x80 | ((value >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((value >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (value & 0x3F));
    }
}

// The case tables of the C library, independent of the host's own locale setting. Without
// a UTF-8 locale on the machine only ASCII letters are lower-cased.
locale_t utf8_locale() {
    static const locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
    return locale;
}

char32_t to_lower(char32_t value) {
    if (value < 0x80) return value >= 'A' && value <= 'Z' ? value + ('a' - 'A') : value;
    const locale_t locale = utf8_locale();
    if (locale == static_cast<locale_t>(0)) return value;
    const wint_t lower = towlower_l(static_cast<wint_t>(value), locale);
    // Only a mapping to another valid code point is taken.
    if (lower > 0x10FFFF || (lower >= 0xD800 && lower <= 0xDFFF)) return value;
    return static_cast<char32_t>(lower);
}

}  // namespace

bool is_unicode_space(char32_t c) {
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F ||
           c == 0x205F || c == 0x3000;
}

std::string_view trim_unicode_space(std::string_view text) {
    std::size_t begin = 0;
    while (begin < text.size()) {
        const CodePoint cp = decode_at(text, begin);
        if (cp.length == 0 || !is_unicode_space(cp.value)) break;
        begin += cp.length;
    }
    std::size_t end = begin;
    for (std::size_t pos = begin; pos < text.size();) {
        const CodePoint cp = decode_at(text, pos);
        const std::size_t step = cp.length == 0 ? 1 : cp.length;
        if (cp.length == 0 || !is_unicode_space(cp.value)) end = pos + step;
        pos += step;
    }
    return text.substr(begin, end - begin);
}

std::size_t leading_space_count(std::string_view text) {
    std::size_t count = 0;
    for (std::size_t pos = 0; pos < text.size(); ++count) {
        const CodePoint cp = decode_at(text, pos);
        if (cp.length == 0 || !is_unicode_space(cp.value)) break;
        pos += cp.length;
    }
    return count;
}

std::string lower_case_utf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t pos = 0; pos < text.size();) {
        const CodePoint cp = decode_at(text, pos);
        if (cp.length == 0) {
            out += text[pos++];
            continue;
        }
        encode(to_lower(cp.value), out);
        pos += cp.length;
    }
    return out;
}

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

std::string ascii_lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

}  // namespace quorvane
