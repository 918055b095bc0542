#pragma once
// One AP's poll in progress, as its command branches share it: the session, the row, the
// log file, the secrets to keep out of logs and files, and the last /tmp usage measured.

#include <string>

#include "quorvane/engine/device_session.hpp"
#include "quorvane/engine/secret_mask.hpp"
#include "quorvane/inventory/ap_row.hpp"

namespace quorvane {

class Quorvane;

struct ApPollState {
    Quorvane& engine;
    DeviceSession& session;
    const ApRow& ap;
    std::string log_path;
    SecretMask mask;
    int tmp_usage = 0;

    // Both mask secrets; the device always gets the real text. The file is data the
    // analyser reads, so it is masked as device output is (SecretMask::apply_to_output).
    void log(const std::string& line) const;
    void append(const std::string& text) const;
    // The command log line, stamped now, and the command block.
    void announce(const std::string& cmd) const;
};

// The /tmp branches of the command loop.
void run_tmp_usage(ApPollState& poll, const std::string& cmd);
void run_tmp_cleanup(ApPollState& poll, const std::string& cmd);
void run_reload(ApPollState& poll, const std::string& cmd);

}  // namespace quorvane
