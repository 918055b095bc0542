#include "tessivar/marker_index.hpp"

#include <algorithm>
#include <cstring>

#include "tessivar/text_scan.hpp"

namespace tessivar {
namespace {

constexpr std::array<std::string_view, MARKER_COUNT> kMarkers = {
    "Cisco AP Software",    "AP Running Image     :", "Backup Boot Image    :", "BOOT path-list:",
    "show image integrity", "/dev/ubivol/part2",      "cnssdaemon.log",
};

// Wu-Manber multi-pattern search. The window is as long as the shortest marker; the last three
// bytes of the window, hashed, say how far the window may move without passing the end of any
// marker's leading `kWindow` bytes. Hash collisions only shorten moves, so no match is missed.
// Three-byte blocks are rare enough in ordinary CLI output that most moves are nearly a window.
constexpr std::size_t kWindow = 14;
constexpr std::size_t kBlock = 3;
constexpr std::size_t kHashSize = 1 << 12;

constexpr std::size_t block_hash(const unsigned char* end) {
    return ((static_cast<std::size_t>(end[-3]) << 6) ^ (static_cast<std::size_t>(end[-2]) << 3) ^
            end[-1]) &
           (kHashSize - 1);
}

constexpr std::size_t block_hash(std::string_view text, std::size_t end) {
    const unsigned char block[] = {static_cast<unsigned char>(text[end - 3]),
                                   static_cast<unsigned char>(text[end - 2]),
                                   static_cast<unsigned char>(text[end - 1])};
    return block_hash(block + kBlock);
}

struct Tables {
    std::array<std::uint8_t, kHashSize> shift{};
    std::array<std::size_t, MARKER_COUNT> end_hash{};

    constexpr Tables() {
        shift.fill(kWindow - kBlock + 1);
        for (std::size_t k = 0; k < MARKER_COUNT; ++k) {
            const std::string_view m = kMarkers[k];
            for (std::size_t q = kBlock; q <= kWindow; ++q) {
                auto& s = shift[block_hash(m, q)];
                s = std::min<std::uint8_t>(s, static_cast<std::uint8_t>(kWindow - q));
            }
            end_hash[k] = block_hash(m, kWindow);
        }
    }
};

constexpr Tables kTables;

static_assert(std::all_of(kMarkers.begin(), kMarkers.end(),
                          [](std::string_view m) { return m.size() >= kWindow; }));

}  // namespace

std::string_view marker_text(Marker marker) { return kMarkers[static_cast<std::size_t>(marker)]; }

MarkerIndex::MarkerIndex(std::string_view text) : text_(text) {
    first_.fill(std::string_view::npos);
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    std::size_t missing = MARKER_COUNT;
    for (std::size_t end = kWindow; end <= n;) {
        const std::size_t h = block_hash(s + end);
        const std::size_t shift = kTables.shift[h];
        if (shift > 0) {
            end += shift;
            continue;
        }
        const std::size_t start = end - kWindow;
        for (std::size_t k = 0; k < MARKER_COUNT; ++k) {
            const std::string_view m = kMarkers[k];
            if (first_[k] != std::string_view::npos || kTables.end_hash[k] != h) continue;
            if (start + m.size() > n || std::memcmp(s + start, m.data(), m.size()) != 0) continue;
            first_[k] = start;
            if (--missing == 0) return;
        }
        ++end;
    }
}

std::string_view MarkerIndex::first_line(Marker marker) const {
    const std::size_t pos = first(marker);
    return pos == std::string_view::npos ? std::string_view{} : detail::line_at(text_, pos);
}

}  // namespace tessivar
