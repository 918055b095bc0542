#!/usr/bin/env bash
# Logs in through the session layer to real OpenSSH and Dropbear servers on loopback, set
# up like older device firmware: only SHA-1 key exchanges, an ssh-rsa host key, CBC
# ciphers and hmac-sha1. Needs root (a throwaway account with a password, removed at the
# end) and both servers; skipped otherwise. Each server answers with a tiny device CLI.
set -u
login=$1
skip() { echo "SKIPPED: $*"; exit 77; }
[ "$(id -u)" -eq 0 ] || skip "needs root to add a throwaway login account"
[ -x /usr/sbin/sshd ] || skip "openssh-server is not installed"
command -v dropbear >/dev/null || [ -x /usr/sbin/dropbear ] || skip "dropbear-bin is not installed"
dropbear=$(command -v dropbear || echo /usr/sbin/dropbear)

# Under /tmp itself: the throwaway account must reach the device CLI.
work=$(mktemp -d /tmp/quorvane-real-servers.XXXXXX)
user="qvt$$"
password="Pw-$$-legacy"
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
    for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null; done
    userdel "$user" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
chmod 755 "$work"
useradd -M -d "$work" -s /bin/sh "$user" || skip "cannot add a user"
echo "$user:$password" | chpasswd || exit 1

# The device CLI: a prompt, "show clock", anything else answered with the prompt.
cat >"$work/device-cli" <<'CLI'
#!/bin/sh
printf 'REAL-AP#'
while IFS= read -r line; do
    case "$line" in
        *"show clock"*) printf '\r\n*10:00:00.000 UTC Tue Dec 8 2026' ;;
        exit) exit 0 ;;
    esac
    printf '\r\nREAL-AP#'
done
CLI
chmod 755 "$work/device-cli"
ssh-keygen -q -t rsa -b 2048 -N '' -f "$work/rsa_key"
ssh-keygen -q -t ed25519 -N '' -f "$work/ed25519_key"
"$(dirname "$dropbear")/dropbearkey" -t rsa -s 2048 -f "$work/dropbear_rsa" >/dev/null 2>&1 ||
    dropbearkey -t rsa -s 2048 -f "$work/dropbear_rsa" >/dev/null
mkdir -p /run/sshd

port=$(( 30000 + $$ % 20000 ))
older=127.0.0.61 modern=127.0.0.62 drop=127.0.0.63
common="PidFile none
UsePAM no
PasswordAuthentication yes
KbdInteractiveAuthentication no
StrictModes no
AllowUsers $user
ForceCommand $work/device-cli"
cat >"$work/older.conf" <<CONF
ListenAddress $older:$port
HostKey $work/rsa_key
KexAlgorithms diffie-hellman-group14-sha1,diffie-hellman-group1-sha1
HostKeyAlgorithms ssh-rsa
Ciphers aes128-cbc,aes192-cbc,aes256-cbc,3des-cbc
MACs hmac-sha1
$common
CONF
cat >"$work/modern.conf" <<CONF
ListenAddress $modern:$port
HostKey $work/ed25519_key
HostKey $work/rsa_key
$common
CONF
/usr/sbin/sshd -D -e -f "$work/older.conf" 2>"$work/older.log" & pids+=($!)
/usr/sbin/sshd -D -e -f "$work/modern.conf" 2>"$work/modern.log" & pids+=($!)
"$dropbear" -F -E -p "$drop:$port" -r "$work/dropbear_rsa" -c "$work/device-cli" \
    2>"$work/dropbear.log" & pids+=($!)
for _ in $(seq 1 100); do
    (exec 3<>"/dev/tcp/$older/$port") 2>/dev/null && (exec 3<>"/dev/tcp/$modern/$port") 2>/dev/null &&
        (exec 3<>"/dev/tcp/$drop/$port") 2>/dev/null && break
    sleep 0.05
done

failures=0
# check NAME EXPECTED-LINE-PATTERN HOST PASSWORD LEGACY KNOWN_HOSTS
check() {
    local name=$1 pattern=$2
    shift 2
    local out
    out=$("$login" "$1" "$port" "$user" "$2" "$3" "$4" 2>&1)
    echo "--- $name"
    echo "$out"
    if ! grep -Eq "$pattern" <<<"$out"; then
        echo "FAIL: $name: expected a line matching: $pattern"
        failures=$((failures + 1))
    fi
}
kh="$work/known_hosts"
check "OpenSSH with only older algorithms" \
    "^algorithms: diffie-hellman-group14-sha1 ssh-rsa aes128-cbc hmac-sha1$" "$older" "$password" yes "$kh"
check "... logs in and runs a command" "^show clock: \*10:00:00.000 UTC" "$older" "$password" yes "$kh"
check "... refused with legacy_algorithms = no" \
    "^failed: no common key exchange method \(device offers: diffie-hellman-group14-sha1, diffie-hellman-group1-sha1; older algorithms are off" \
    "$older" "$password" no "$kh"
check "... names a refused password" "^failed: password refused by the device$" "$older" wrong yes "$kh"
check "modern OpenSSH negotiates modern algorithms" \
    "^algorithms: (curve25519-sha256|sntrup761x25519-sha512@openssh.com) ssh-ed25519 " \
    "$modern" "$password" yes "$work/modern_known_hosts"
# A device remembered by its RSA key keeps showing it, though it has an ed25519 key too.
grep -h "^\[$older\]" "$kh" | sed "s/^\[$older\]/[$modern]/" >"$work/rsa_known_hosts"
check "a remembered RSA key is still the one negotiated" "^algorithms: [^ ]+ ssh-rsa " \
    "$modern" "$password" yes "$work/rsa_known_hosts"
check "Dropbear logs in and runs a command" "^show clock: \*10:00:00.000 UTC" \
    "$drop" "$password" yes "$work/dropbear_known_hosts"
if [ "$failures" -ne 0 ]; then
    echo "--- server logs"
    cat "$work"/*.log
    exit 1
fi
echo "all real-server checks passed"
