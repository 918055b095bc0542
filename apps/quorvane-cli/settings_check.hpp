#pragma once
// The settings a command needs, checked before it connects anywhere, so that a missing
// password is named at once instead of after every device has refused the login.

#include <optional>
#include <string>

#include "quorvane/quorvane.hpp"

namespace quorvane::cli {

struct NeededSettings {
    bool controllers = false;            // address, user and password of each controller
    std::optional<std::string> section;  // only this controller section (--section)
    bool ap_login = false;               // [AP] user, password and enable secret
    bool image_transfer = false;         // [FTP] for the image-download list built from it
};

// The controllers' address, user and password: what a command that talks only to the
// controllers needs.
inline NeededSettings controller_settings(std::optional<std::string> section = std::nullopt) {
    NeededSettings needed;
    needed.controllers = true;
    needed.section = std::move(section);
    return needed;
}

// Empty when every needed key has a value; otherwise what is missing and the
// `quorvane config set` lines that set it, ready to be printed.
std::string missing_settings(const Quorvane& engine, const NeededSettings& needed);

}  // namespace quorvane::cli
