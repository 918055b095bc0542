#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace tessivar {

// The fixed texts that introduce the outputs the flash checks read.
enum class Marker : std::uint8_t {
    software_banner,  // "Cisco AP Software"
    running_image,    // "AP Running Image     :"
    backup_image,     // "Backup Boot Image    :"
    boot_path_list,   // "BOOT path-list:"
    image_integrity,  // "show image integrity"
    part2_device,     // "/dev/ubivol/part2"
    cnss_log,         // "cnssdaemon.log"
};
inline constexpr std::size_t MARKER_COUNT = 7;

std::string_view marker_text(Marker marker);

// Where each marker first occurs in a log text. A multi-MB log would otherwise be searched once
// per marker; this finds all of them in a single pass that skips over most of the text.
class MarkerIndex {
  public:
    explicit MarkerIndex(std::string_view text);

    std::string_view text() const { return text_; }
    // Offset of the first occurrence; npos when the marker does not occur.
    std::size_t first(Marker marker) const { return first_[static_cast<std::size_t>(marker)]; }
    // The line holding the first occurrence; empty when the marker does not occur.
    std::string_view first_line(Marker marker) const;

  private:
    std::string_view text_;
    std::array<std::size_t, MARKER_COUNT> first_;
};

}  // namespace tessivar
