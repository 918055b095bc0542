#include "quorvane/engine/ssh/ssh_failure.hpp"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <vector>

#include "quorvane/engine/ssh/ssh_algorithms.hpp"
#include "quorvane/engine/ssh/ssh_transport.hpp"

namespace quorvane {
namespace {

constexpr const char* kLegacyOffHint = "older algorithms are off: [SSH] legacy_algorithms = no";

struct Negotiated {
    std::string_view libssh_name;  // as libssh names the method in its error text
    const char* what;
    const std::vector<std::string> SshAlgorithms::*older;
};

const std::array<Negotiated, 7> kNegotiated = {{
    {"kex algos", "key exchange method", &SshAlgorithms::key_exchanges},
    {"server host key algo", "host key type", &SshAlgorithms::host_keys},
    {"encryption client->server", "cipher", &SshAlgorithms::ciphers},
    {"encryption server->client", "cipher", &SshAlgorithms::ciphers},
    {"mac algo client->server", "MAC", &SshAlgorithms::macs},
    {"mac algo server->client", "MAC", &SshAlgorithms::macs},
    {"compression algo", "compression method", nullptr},
}};

// Signalling entries ("ext-info-s", "kex-strict-s-v00@openssh.com") are not methods.
bool is_pseudo_method(std::string_view name) {
    return name.empty() || name.rfind("ext-info-", 0) == 0 || name.rfind("kex-strict-", 0) == 0;
}

std::vector<std::string> split_methods(std::string_view list) {
    std::vector<std::string> names;
    while (!list.empty()) {
        const std::size_t comma = std::min(list.find(','), list.size());
        const std::string_view name = list.substr(0, comma);
        if (!is_pseudo_method(name)) names.emplace_back(name);
        list.remove_prefix(std::min(comma + 1, list.size()));
    }
    return names;
}

std::string joined(const std::vector<std::string>& names) {
    std::string text;
    for (const auto& name : names) text += (text.empty() ? "" : ", ") + name;
    return text;
}

}  // namespace

std::string tcp_failure_reason(int error_number, int port) {
    switch (error_number) {
        case ECONNREFUSED:
            return "connection refused on port " + std::to_string(port);
        case EHOSTUNREACH:
        case ENETUNREACH:
            return "no route to the device";
        case ECONNRESET:
            return kClosedByDevice;
        default:
            return std::string("cannot connect: ") + std::strerror(error_number);
    }
}

std::string seconds_phrase(double seconds) {
    std::string text = seconds_text(seconds);
    return text.insert(text.size() - 1, " ");
}

std::string no_answer_reason(double seconds) {
    return "no answer within " + seconds_phrase(seconds);
}

std::string closed_in_key_exchange_reason(bool legacy) {
    return std::string(kClosedByDevice) + " during the key exchange" +
           (legacy ? "" : " (" + std::string(kLegacyOffHint) + ")");
}

std::string negotiation_failure_reason(std::string_view error_text, bool legacy) {
    constexpr std::string_view kNoMatch = "no match for method ";
    constexpr std::string_view kServer = ": server [";
    const std::size_t at = error_text.find(kNoMatch);
    if (at == std::string_view::npos) return "";
    const std::string_view rest = error_text.substr(at + kNoMatch.size());
    const std::size_t server_at = rest.find(kServer);
    if (server_at == std::string_view::npos) return "";
    const std::string_view method = rest.substr(0, server_at);
    const std::string_view offers_from = rest.substr(server_at + kServer.size());
    const std::vector<std::string> offers =
        split_methods(offers_from.substr(0, offers_from.find(']')));

    const auto known = std::find_if(kNegotiated.begin(), kNegotiated.end(), [&](const auto& n) {
        return method.rfind(n.libssh_name, 0) == 0;
    });
    if (known == kNegotiated.end()) return "";
    std::string reason = std::string("no common ") + known->what +
                         " (device offers: " + (offers.empty() ? "nothing" : joined(offers));
    if (!legacy && known->older != nullptr) {
        const auto& older = legacy_ssh_algorithms().*(known->older);
        if (std::any_of(offers.begin(), offers.end(), [&](const std::string& name) {
                return std::find(older.begin(), older.end(), name) != older.end();
            })) {
            reason += std::string("; ") + kLegacyOffHint;
        }
    }
    return reason + ")";
}

}  // namespace quorvane
