// Evidence from every controller once stuck clients are confirmed: a trace archive on
// bootflash and a core of the wncd process.

#include "quorvane/clientauth/scoped_session.hpp"
#include "quorvane/engine/engine.hpp"

namespace quorvane {

namespace {

constexpr double kCollectReadTimeout = 300;
constexpr const char* kArchivePrefix =
    "request platform software trace archive last 1 hour target bootflash:";
constexpr const char* kCoreCommand =
    "request platform software process core wncd 0 chassis active r0";
constexpr const char* kArchiveDone = "Done with creation of the archive file";
constexpr const char* kCoreDone = "SUCCESS: Core file generated.";

}  // namespace

void Quorvane::_run_auth_debug_collection(const std::vector<std::string>& wlc_sections,
                                          const std::string& ts) {
    for (const auto& section : wlc_sections) {
        try {
            _log("[DEBUG] ===== Collecting debugs for [" + section + "] =====");
            ScopedSession session(_wlc_connect(section));

            const std::string archive_name = "auth_issue_" + ts + ".tar.gz";
            const std::string archive_cmd = kArchivePrefix + archive_name;
            _log("[DEBUG][ARCHIVE] Running: " + archive_cmd);
            const std::string archive_out = session->send_command(archive_cmd, kCollectReadTimeout);
            _log("[DEBUG][ARCHIVE OUTPUT]\n" + archive_out);
            if (archive_out.find(kArchiveDone) != std::string::npos) {
                _log("[DEBUG][ARCHIVE] SUCCESS \u2014 bootflash:" + archive_name);
            } else {
                _log(std::string("[DEBUG][ARCHIVE] ERROR \u2014 expected '") + kArchiveDone +
                     "' not found. Check output above.");
            }

            _log(std::string("[DEBUG][CORE] Running: ") + kCoreCommand);
            const std::string core_out = session->send_command(kCoreCommand, kCollectReadTimeout);
            _log("[DEBUG][CORE OUTPUT]\n" + core_out);
            if (core_out.find(kCoreDone) != std::string::npos) {
                _log("[DEBUG][CORE] SUCCESS \u2014 Core file generated.");
            } else {
                _log(std::string("[DEBUG][CORE] ERROR \u2014 expected '") + kCoreDone +
                     "' not found. Check output above.");
            }

            session.disconnect();
            _log("[DEBUG] Debug collection complete for [" + section + "]");
        } catch (const std::exception& e) {
            _log("[DEBUG] Debug collection failed (" + section + "): " + e.what());
        }
    }
}

}  // namespace quorvane
