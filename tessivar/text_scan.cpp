#include "tessivar/text_scan.hpp"

#include <cstring>

namespace tessivar::detail {

std::string_view trim(std::string_view s) {
    std::size_t begin = 0;
    std::size_t end = s.size();
    while (begin < end && is_space(s[begin])) ++begin;
    while (end > begin && is_space(s[end - 1])) --end;
    return s.substr(begin, end - begin);
}

std::size_t end_of_line(std::string_view text, std::size_t pos) {
    if (pos >= text.size()) return text.size();
    const void* nl = std::memchr(text.data() + pos, '\n', text.size() - pos);
    return nl ? static_cast<std::size_t>(static_cast<const char*>(nl) - text.data()) + 1
              : text.size();
}

std::string_view line_at(std::string_view text, std::size_t pos) {
    std::size_t begin = 0;
    if (pos > 0) {
        const void* nl = memrchr(text.data(), '\n', pos);
        if (nl) begin = static_cast<std::size_t>(static_cast<const char*>(nl) - text.data()) + 1;
    }
    return text.substr(begin, end_of_line(text, pos) - begin);
}

std::size_t find(std::string_view text, std::string_view needle, std::size_t from) {
    if (from > text.size()) return std::string_view::npos;
    // glibc's memmem skips ahead far faster than a byte-by-byte search on multi-MB logs.
    const void* hit = memmem(text.data() + from, text.size() - from, needle.data(), needle.size());
    return hit ? static_cast<std::size_t>(static_cast<const char*>(hit) - text.data())
               : std::string_view::npos;
}

std::size_t utf8_length(std::string_view s) {
    std::size_t n = 0;
    for (char c : s) {
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++n;
    }
    return n;
}

}  // namespace tessivar::detail
