#include "apps/quorvane-cli/settings_check.hpp"

#include <utility>
#include <vector>

namespace quorvane::cli {

namespace {

using Key = std::pair<std::string, std::string>;  // section, key

void need(const Quorvane& engine, const std::string& section, const std::string& key,
          std::vector<Key>& missing) {
    if (engine.ini.get(section, key, "").empty()) missing.emplace_back(section, key);
}

void need_controller(const Quorvane& engine, const std::string& section,
                     std::vector<Key>& missing) {
    for (const char* key : {"wlc_ip", "wlc_user", "wlc_pasw"}) need(engine, section, key, missing);
}

}  // namespace

std::string missing_settings(const Quorvane& engine, const NeededSettings& needed) {
    std::vector<Key> missing;
    if (needed.controllers) {
        if (needed.section) {
            need_controller(engine, *needed.section, missing);
        } else if (const auto sections = engine._get_wlc_sections(); sections.empty()) {
            need_controller(engine, "WLC", missing);
        } else {
            for (const auto& section : sections) need_controller(engine, section, missing);
        }
    }
    if (needed.ap_login) {
        for (const char* key : {"ap_user", "ap_pasw", "ap_enable"})
            need(engine, "AP", key, missing);
    }
    if (needed.image_transfer) {
        need(engine, "FTP", "ftp_addr", missing);
        need(engine, "FTP", "ftp_path", missing);
        if (engine.ini.get("FTP", "ftp_proto", "TFTP") == "SFTP") {
            need(engine, "FTP", "ftp_user", missing);
            need(engine, "FTP", "ftp_pasw", missing);
        }
    }
    if (missing.empty()) return "";
    std::string names;
    std::string commands;
    for (const auto& [section, key] : missing) {
        names += (names.empty() ? "" : ", ") + ("[" + section + "] " + key);
        commands += "\n  quorvane config set " + section + " " + key;
    }
    return "settings missing from " + engine.ini.path + ": " + names +
           ". Nothing was contacted. Set them (each asks for its value) with:" + commands;
}

}  // namespace quorvane::cli
