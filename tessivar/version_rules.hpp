#pragma once

#include <optional>
#include <string_view>

namespace tessivar {

// Whether an image version (such as "17.12.4.213") is affected by the flash problem, judged by
// the fixed-release tables of the running and of the backup image. No value when the version has
// fewer than four dotted pieces or its numbers do not read as integers.
std::optional<bool> running_image_buggy(std::string_view version);
std::optional<bool> backup_image_buggy(std::string_view version);

}  // namespace tessivar
