// Talking to one AP: its session parameters, one command with the prompt fallback, and
// transfers driven to their end by answering the device's questions.

#include <re2/re2.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <string_view>

#include "quorvane/engine/engine.hpp"
#include "quorvane/engine/errors.hpp"
#include "quorvane/engine/secret_mask.hpp"
#include "quorvane/engine/ssh_settings.hpp"
#include "quorvane/inventory/qca.hpp"
#include "quorvane/paths/utf8.hpp"

namespace quorvane {

namespace {

constexpr double kTransferLimitSeconds = 3600;

constexpr std::array<std::string_view, 16> kTransferEndMarkers = {"archive done",
                                                                  "successful file transfer",
                                                                  "archive download completed",
                                                                  "image transfer complete",
                                                                  "extracting images",
                                                                  "bundle for transfer",
                                                                  "bytes copied",
                                                                  "transfer complete",
                                                                  "upload complete",
                                                                  "error",
                                                                  "failed",
                                                                  "fail",
                                                                  "no such file",
                                                                  "permission denied",
                                                                  "connection refused",
                                                                  "timed out"};

bool contains(const std::string& text, std::string_view needle) {
    return text.find(needle) != std::string::npos;
}

// The first run of progress marks in a chunk of an image download.
std::optional<std::string> progress_marks(const std::string& chunk) {
    const auto first = chunk.find_first_of("!.");
    if (first == std::string::npos) return std::nullopt;
    const auto end = chunk.find_first_not_of("!.", first);
    return chunk.substr(first, end == std::string::npos ? std::string::npos : end - first);
}

// Whether the device is back at its prompt: the stripped buffer ends with the prompt
// name, or with the name and the prompt's own "#" or ">" (the name alone never matches a
// real prompt line, which would leave a transfer without a marker word running until the
// time limit).
bool ends_at_prompt(const std::string& stripped, const std::string& base_prompt) {
    return stripped.ends_with(base_prompt) || stripped.ends_with(base_prompt + "#") ||
           stripped.ends_with(base_prompt + ">");
}

// The last non-empty line that is not a prompt line.
std::string transfer_result_line(const std::string& buffer) {
    const std::string text = strip_whitespace(buffer);
    std::size_t end = text.size();
    while (end > 0) {
        const std::size_t start = text.find_last_of("\r\n", end - 1);
        const std::size_t from = start == std::string::npos ? 0 : start + 1;
        const std::string line = strip_whitespace(text.substr(from, end - from));
        if (!line.empty() && line.back() != '#' && line.back() != '>') return line;
        if (start == std::string::npos) break;
        end = start;
    }
    return "";
}

}  // namespace

DeviceParams Quorvane::_ap_connect_params(const std::string& ip, const std::string& model) {
    DeviceParams params;
    params.device_type = is_qca_model(model) ? "cisco_xe" : "cisco_ios";
    params.host = ip;
    params.username = ini.get("AP", "ap_user");
    params.password = ini.get("AP", "ap_pasw");
    params.secret = ini.get("AP", "ap_enable");
    params.timeout = 60;
    params.conn_timeout = 30;
    params.banner_timeout = 30;
    params.auth_timeout = 30;
    params.fast_cli = false;
    params.port = options.ssh_port;
    params.known_hosts_path = CONFD + "/known_hosts";
    params.legacy_algorithms = legacy_algorithms_setting(ini);
    return params;
}

std::string Quorvane::_ap_send_command(DeviceSession& conn, const std::string& cmd,
                                       int read_timeout) {
    try {
        return conn.send_command(cmd, read_timeout);
    } catch (const std::exception& e) {
        if (!contains(e.what(), "Pattern not detected")) throw;
    }
    return conn.send_command_timing(cmd, read_timeout);
}

std::string Quorvane::run_command_interactive(DeviceSession& conn, const std::string& cmd,
                                              const std::optional<std::string>& ftp_user,
                                              const std::optional<std::string>& ftp_pass) {
    const SecretMask mask(ini);
    const bool image_download = contains(ascii_lower(cmd), "archive download-sw");
    const std::string user = ftp_user.value_or("");
    const std::string pass = ftp_pass.value_or("");
    const std::string base_prompt = conn.base_prompt();
    const auto limit = std::chrono::duration<double>(ap_wait(kTransferLimitSeconds));

    conn.write_channel(cmd + "\n");
    std::string buffer;
    // Output is logged in whole lines: a secret, or "ip sftp password X", that arrives
    // split over two reads must be masked as one text.
    std::string unlogged;
    const auto log_whole_lines = [&](bool all) {
        const std::size_t end = all ? unlogged.size() : unlogged.find_last_of('\n') + 1;
        if (end == 0) return;
        _log(mask.apply(unlogged.substr(0, end)));
        unlogged.erase(0, end);
    };
    const auto start = options.clock->now();
    for (;;) {
        sleep_seconds(1);
        const std::string chunk = conn.read_channel();
        if (!chunk.empty()) {
            buffer += chunk;
            if (!image_download) {
                unlogged += chunk;
                log_whole_lines(false);
            } else if (auto marks = progress_marks(chunk)) {
                _log(*marks);
            }
        }

        const std::string folded = ascii_lower(buffer);
        std::optional<std::string> answer;
        if (contains(folded, "username:") && !user.empty()) {
            answer = user + "\n";
        } else if (contains(folded, "password:") && !pass.empty()) {
            answer = pass + "\n";
        } else if (contains(folded, "[confirm]")) {
            answer = "\n";
        } else if (contains(folded, "(yes/no)")) {
            answer = "yes\n";
        }
        // A device that keeps asking is held to the same limit as one that keeps quiet.
        const bool over_limit = options.clock->now() - start > limit;
        if (answer) {
            if (over_limit) throw EngineError("Command timed out");
            conn.write_channel(*answer);
            buffer.clear();
            continue;
        }

        if (std::any_of(kTransferEndMarkers.begin(), kTransferEndMarkers.end(),
                        [&](std::string_view marker) { return contains(folded, marker); })) {
            break;
        }
        if (ends_at_prompt(strip_whitespace(buffer), base_prompt)) break;
        if (over_limit) throw EngineError("Command timed out");
    }
    log_whole_lines(true);
    _log(mask.apply("[IMAGE DOWNLOAD] Result: " + transfer_result_line(buffer)));
    return buffer;
}

}  // namespace quorvane
