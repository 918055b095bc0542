#include "tessivar/marker_index.hpp"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace {

using tessivar::Marker;
using tessivar::MARKER_COUNT;
using tessivar::marker_text;
using tessivar::MarkerIndex;

// Texts made of marker pieces, near misses and noise, so that the skipping search is exercised
// at every alignment; each first occurrence must equal a plain search.
TEST(TessivarMarkerIndex, FindsTheFirstOccurrenceLikeAPlainSearch) {
    std::mt19937 rng(42);
    for (int round = 0; round < 3000; ++round) {
        std::string text;
        const int pieces = static_cast<int>(rng() % 40);
        for (int p = 0; p < pieces; ++p) {
            const std::string_view m = marker_text(static_cast<Marker>(rng() % MARKER_COUNT));
            switch (rng() % 5) {
                case 0:
                    text += m;
                    break;
                case 1:
                    text += m.substr(0, rng() % m.size());
                    break;
                case 2:
                    text += m.substr(rng() % m.size());
                    break;
                case 3: {
                    std::string near(m);
                    near[rng() % near.size()] ^= 0x20;
                    text += near;
                    break;
                }
                default:
                    for (int c = static_cast<int>(rng() % 20); c > 0; --c) {
                        text += static_cast<char>(" :.ogentmarSA\n"[rng() % 14]);
                    }
            }
        }
        const MarkerIndex index(text);
        for (std::size_t k = 0; k < MARKER_COUNT; ++k) {
            const auto marker = static_cast<Marker>(k);
            ASSERT_EQ(index.first(marker), text.find(marker_text(marker)))
                << "marker " << k << " in \"" << text << "\"";
        }
    }
}

TEST(TessivarMarkerIndex, ShortAndEmptyTexts) {
    EXPECT_EQ(MarkerIndex("").first(Marker::cnss_log), std::string_view::npos);
    EXPECT_EQ(MarkerIndex("cnssdaemon.lo").first(Marker::cnss_log), std::string_view::npos);
    EXPECT_EQ(MarkerIndex("cnssdaemon.log").first(Marker::cnss_log), 0u);
    EXPECT_EQ(MarkerIndex("x\nBOOT path-list: part1\n").first_line(Marker::boot_path_list),
              "BOOT path-list: part1\n");
}

}  // namespace
