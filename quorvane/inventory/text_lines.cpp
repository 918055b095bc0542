#include "quorvane/inventory/text_lines.hpp"

namespace quorvane {

namespace {

unsigned char byte_at(std::string_view text, std::size_t pos) {
    return pos < text.size() ? static_cast<unsigned char>(text[pos]) : 0;
}

// Byte length of the line break starting at `pos`, or 0 when none starts there.
std::size_t line_break_at(std::string_view text, std::size_t pos) {
    const unsigned char b = byte_at(text, pos);
    if (b == '\r') return byte_at(text, pos + 1) == '\n' ? 2 : 1;
    if (b == '\n' || b == '\v' || b == '\f' || (b >= 0x1C && b <= 0x1E)) return 1;
    // A lead byte never occurs inside another character, so these byte patterns are
    // always the code points themselves.
    if (b == 0xC2 && byte_at(text, pos + 1) == 0x85) return 2;
    if (b == 0xE2 && byte_at(text, pos + 1) == 0x80) {
        const unsigned char third = byte_at(text, pos + 2);
        if (third == 0xA8 || third == 0xA9) return 3;
    }
    return 0;
}

// Byte length of the whitespace code point starting at `pos`, or 0.
std::size_t whitespace_at(std::string_view text, std::size_t pos) {
    const unsigned char b = byte_at(text, pos);
    if (b == ' ' || (b >= '\t' && b <= '\r') || (b >= 0x1C && b <= 0x1F)) return 1;
    const unsigned char b1 = byte_at(text, pos + 1);
    const unsigned char b2 = byte_at(text, pos + 2);
    if (b == 0xC2) return b1 == 0x85 || b1 == 0xA0 ? 2 : 0;  // NEL, NBSP
    if (b == 0xE1) return b1 == 0x9A && b2 == 0x80 ? 3 : 0;  // U+1680
    if (b == 0xE3) return b1 == 0x80 && b2 == 0x80 ? 3 : 0;  // U+3000
    if (b == 0xE2 && b1 == 0x80) {                           // U+2000-U+202F
        return (b2 >= 0x80 && b2 <= 0x8A) || b2 == 0xA8 || b2 == 0xA9 || b2 == 0xAF ? 3 : 0;
    }
    if (b == 0xE2 && b1 == 0x81) return b2 == 0x9F ? 3 : 0;  // U+205F
    return 0;
}

// Byte length of the whitespace code point ending just before `end`, or 0.
std::size_t whitespace_before(std::string_view text, std::size_t end) {
    for (std::size_t length = 1; length <= 3 && length <= end; ++length) {
        if (whitespace_at(text, end - length) == length) return length;
    }
    return 0;
}

}  // namespace

std::vector<std::string_view> split_text_lines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t length = line_break_at(text, pos);
        if (length == 0) {
            ++pos;
            continue;
        }
        lines.push_back(text.substr(start, pos - start));
        pos += length;
        start = pos;
    }
    if (start < text.size()) lines.push_back(text.substr(start));
    return lines;
}

std::vector<std::string_view> split_tokens(std::string_view line) {
    std::vector<std::string_view> tokens;
    std::size_t pos = 0;
    std::size_t start = std::string_view::npos;
    while (pos < line.size()) {
        const std::size_t blank = whitespace_at(line, pos);
        if (blank == 0) {
            if (start == std::string_view::npos) start = pos;
            ++pos;
            continue;
        }
        if (start != std::string_view::npos) {
            tokens.push_back(line.substr(start, pos - start));
            start = std::string_view::npos;
        }
        pos += blank;
    }
    if (start != std::string_view::npos) tokens.push_back(line.substr(start));
    return tokens;
}

std::string_view strip_text(std::string_view line) {
    std::size_t begin = 0;
    while (begin < line.size()) {
        const std::size_t blank = whitespace_at(line, begin);
        if (blank == 0) break;
        begin += blank;
    }
    std::size_t end = line.size();
    while (end > begin) {
        const std::size_t blank = whitespace_before(line, end);
        if (blank == 0) break;
        end -= blank;
    }
    return line.substr(begin, end - begin);
}

}  // namespace quorvane
