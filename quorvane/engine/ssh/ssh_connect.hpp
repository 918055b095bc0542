#pragma once
// The libssh-backed session factory: the engine's default ConnectHandler.
//
// Behaviour of the sessions it returns:
// - Connecting: TCP connect bounded by conn_timeout, SSH handshake by banner_timeout,
//   authentication (password, then keyboard-interactive answering every prompt with the
//   password) by auth_timeout. The shell runs on a 511-column pseudo-terminal so devices
//   do not wrap lines. Login reads up to the first prompt (an empty line is sent when none
//   shows within 0.25 s; opening the shell and finding the prompt are bounded by
//   banner_timeout) and sets base_prompt; it sends no paging command.
// - Algorithms: libssh's modern lists first, then, unless legacy_algorithms is false, the
//   older ones device firmware uses (ssh_algorithms.hpp).
// - Failures: every SshError of connecting and logging in carries a reason that says the
//   cause in a network engineer's words (ssh_failure.hpp); failure_reason() reads it.
// - Host keys: when known_hosts_path is set, the device's key is remembered there in
//   OpenSSH format ("host" or "[host]:port" entries); the first key seen is recorded, a
//   different key later fails the connection with an error naming the address.
// - send_command: read_timeout defaults to DeviceParams::timeout (60 s). The prompt is
//   the base prompt followed by "#" or ">" at the start of the last line. Output keeps the
//   device's line breaks, without the echoed command and the trailing prompt.
// - send_command_timing: returns once no byte has arrived for 0.5 s after output began,
//   or at once when the output ends with the prompt; it waits at most 5 s for the first
//   byte; always bounded by read_timeout (same default). The constants are in
//   SshDeviceSession (kTimingQuietSeconds, kTimingFirstByteSeconds).
// - Time-outs: NaN is refused with an SshError; negative ones are over at once, and ones
//   beyond a year (infinite included) are cut to a year.
// - Cost: a session waiting on its device sleeps in poll() until an answer or its deadline.
//   An open session holds 2 descriptors (its socket and a wake-up eventfd, see
//   descriptor_budget.hpp) and about 20 KiB; disconnect() releases them at once, even while
//   the object lives on, and may come from another thread during a command.
// Every failure is an SshError (a std::runtime_error) whose text names the device.

#include "quorvane/engine/device_session.hpp"

namespace quorvane {

DeviceSessionPtr ssh_connect(const DeviceParams& params);

}  // namespace quorvane
