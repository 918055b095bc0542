#include "ap_cli.hpp"

#include <strings.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "fleetsim/ap_show.hpp"

namespace fleetsim {
namespace {

constexpr long kImageBytes = 48234496;

}  // namespace

bool ApCli::dispatch(const Words& w) {
    Words rest;
    if (match(w, {"enable"}) && w.size() == 1) {
        enable();
    } else if (match(w, {"disable"}) && w.size() == 1) {
        enabled_ = false;
        show_prompt();
    } else if (match(w, {"terminal", "length"}, &rest)) {
        if (cfg_.faults.reject_terminal_length && w[0].size() == std::strlen("terminal") &&
            strcasecmp(w[0].c_str(), "terminal") == 0) {
            return false;
        }
        return set_terminal_length(w, 2);
    } else if (match(w, {"terminal", "width"}, &rest) && rest.size() == 1) {
        answer("");
    } else if (match(w, {"show", "inventory"}) && w.size() == 2) {
        answer(ap_show_inventory(cfg_));
    } else if (match(w, {"show", "version"}) && w.size() == 2) {
        answer(ap_show_version(cfg_, state()));
    } else if (match(w, {"show", "boot"}) && w.size() == 2) {
        answer(ap_show_boot(cfg_));
    } else if (match(w, {"show", "filesystems"}) && w.size() == 2) {
        answer(ap_show_filesystems(cfg_, state()));
    } else if ((match(w, {"show", "flash"}) && w.size() == 2) ||
               (match(w, {"dir"}) && w.size() <= 2)) {
        answer(ap_show_flash(cfg_));
    } else if (match(w, {"show", "image", "integrity"}) && w.size() == 3) {
        answer(ap_show_image_integrity(cfg_));
    } else if (match(w, {"show", "clock"}) && w.size() == 2) {
        answer("*10:15:42.123 UTC Tue Dec 8 2026\n");
    } else if ((match(w, {"exit"}) || match(w, {"logout"}) || match(w, {"quit"})) &&
               w.size() == 1) {
        term_.drop(false);
    } else if (!enabled_) {
        return false;
    } else {
        return privileged(w);
    }
    return true;
}

bool ApCli::privileged(const Words& w) {
    Words rest;
    if (match(w, {"delete"}, &rest) && rest.size() == 3 && rest[0] == "/force" &&
        rest[1] == "/recursive" && rest[2].rfind("/tmp", 0) == 0) {
        dev_.with_state([](DeviceState& s) {
            s.tmp_usage_percent = 4;
            return ++s.cleanup_count;
        });
        answer("");
    } else if (match(w, {"reload"}) && w.size() == 1) {
        reload();
    } else if (match(w, {"copy"}, &rest) && rest.size() == 2) {
        copy(rest[0]);
    } else if (match(w, {"archive", "download-sw"}, &rest) && !rest.empty()) {
        archive_download(rest.back());
    } else if (match(w, {"ip", "sftp", "username"}, &rest) && rest.size() == 1) {
        dev_.with_state([&](DeviceState& s) {
            s.sftp_username = rest[0];
            return 0;
        });
        answer("");
    } else if (match(w, {"ip", "sftp", "password"}, &rest) && rest.size() == 1) {
        dev_.with_state([&](DeviceState& s) {
            s.sftp_password = rest[0];
            return 0;
        });
        answer("");
    } else if (match(w, {"clear", "counters"}) && w.size() == 2) {
        confirm("Clear \"show interface\" counters on all interfaces [confirm]",
                [this] { answer("\n"); });
    } else if (match(w, {"clear", "capwap", "private-config"}) && w.size() == 3) {
        confirm("Are you sure you want to clear the CAPWAP private configuration? (y/n) ",
                [this] { answer("\nCAPWAP private configuration cleared.\n"); });
    } else {
        return false;
    }
    return true;
}

void ApCli::enable() {
    if (enabled_) {
        show_prompt();
        return;
    }
    term_.say("Password: ");
    term_.ask_line(false, [this](const std::string& secret) {
        if (!cfg_.faults.refuse_enable && secret == cfg_.enable_secret) {
            enabled_ = true;
        } else {
            term_.say("% Bad secrets\n\n");
        }
        show_prompt();
    });
}

void ApCli::reload() {
    confirm("Proceed with reload? [confirm]", [this] {
        dev_.with_state([](DeviceState& s) {
            s.tmp_usage_percent = 3;
            return ++s.reload_count;
        });
        term_.say("\n\nWriting reload reason: reload command\nReloading AP...\n");
        term_.drop(false);
    });
}

void ApCli::copy(const std::string& source) {
    bool sftp = source.rfind("sftp://", 0) == 0 || source.rfind("scp://", 0) == 0;
    bool tftp = source.rfind("tftp://", 0) == 0;
    if (!sftp && !tftp) {
        term_.say("%Error opening " + source + " (Invalid argument)\n");
        show_prompt();
        return;
    }
    if (!sftp) {
        run_copy(source, true);
        return;
    }
    term_.say("Username: ");
    term_.ask_line(true, [this, source](const std::string& user) {
        term_.say("Password: ");
        term_.ask_line(false, [this, source, user](const std::string& password) {
            run_copy(source, !trim(user).empty() && !password.empty());
        });
    });
}

void ApCli::run_copy(const std::string& source, bool ok) {
    // A URL without a host or file cannot be fetched, as on a real AP.
    size_t scheme = source.find("://");
    std::string path = source.substr(scheme + 3);
    if (!ok) {
        term_.say("%Error opening " + source + " (Permission denied)\n", 300);
        show_prompt();
        return;
    }
    if (path.empty() || path[0] == '/' || path.find('/') == std::string::npos ||
        path.back() == '/') {
        term_.say("%Error opening " + source + " (No such file or directory)\n", 200);
        show_prompt();
        return;
    }
    int ms = cfg_.transfer_ms;
    term_.say("Accessing " + source + "...\n");
    for (int i = 0; i < 5; ++i) term_.say("!!!!!!!!!!", ms / 5);
    term_.then([this, ms] {
        dev_.with_state([](DeviceState& s) { return ++s.transfer_count; });
        char line[160];
        double secs = ms / 1000.0 > 0 ? ms / 1000.0 : 0.001;
        std::snprintf(line, sizeof line,
                      "\n[OK - %ld bytes]\n\n%ld bytes copied in %.3f secs (%ld bytes/sec)\n",
                      kImageBytes, kImageBytes, secs, static_cast<long>(kImageBytes / secs));
        term_.say(line);
        show_prompt();
    });
}

void ApCli::archive_download(const std::string& source) {
    int ms = cfg_.transfer_ms;
    term_.say("Starting download of " + source + " ...\n");
    for (int i = 0; i < 8; ++i) term_.say(i % 3 == 2 ? "....." : "!!!!!!!!!!", ms / 8);
    term_.then([this] {
        dev_.with_state([](DeviceState& s) { return ++s.transfer_count; });
        term_.say("\nImage transfer complete.\nArchive done.\n");
        show_prompt();
    });
}

}  // namespace fleetsim
