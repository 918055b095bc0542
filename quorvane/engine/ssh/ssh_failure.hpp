#pragma once
// Why a connection or login failed, in the words a network engineer acts on. Every cause
// the session layer can tell is worded here; the transport only picks which applies.

#include <string>
#include <string_view>

namespace quorvane {

// A TCP connect that failed with errno error_number.
std::string tcp_failure_reason(int error_number, int port);

// "30 s", "0.5 s".
std::string seconds_phrase(double seconds);
// "no answer within 30 s".
std::string no_answer_reason(double seconds);

// A handshake libssh gave up on with error_text. Recognises the "no match for method"
// texts of a failed negotiation and names what the device offered; legacy tells whether
// the older algorithms were offered, so that a device that only has those says so.
// Empty when the text is not one of those.
std::string negotiation_failure_reason(std::string_view error_text, bool legacy);

// The device hung up during the key exchange without its offer being read, as one that
// finds no common algorithm may do.
std::string closed_in_key_exchange_reason(bool legacy);

inline constexpr const char* kClosedByDevice = "connection closed by the device";
inline constexpr const char* kPasswordRefused = "password refused by the device";

}  // namespace quorvane
