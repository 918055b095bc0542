// Removing clients: every MAC on every controller, stopping at the first failure so the
// host sees which controller refused.

#include "quorvane/clientauth/scoped_session.hpp"
#include "quorvane/engine/engine.hpp"

namespace quorvane {

void Quorvane::deauth_clients(const std::vector<std::string>& mac_list) {
    for (const auto& section : _get_wlc_sections()) {
        ScopedSession session(_wlc_connect(section));
        for (const auto& mac : mac_list) {
            _log("[AUTH] Deauth " + mac);
            session->send_command("wireless client mac-address " + mac + " deauthenticate");
        }
        session.disconnect();
    }
}

}  // namespace quorvane
