#!/usr/bin/env bash
# The fleetsim program's options: a written fleet loads again, a chosen port is printed,
# the time limit ends the program by itself, and bad options are refused.
set -u
fleetsim=$1
dir=$(mktemp -d "${TMPDIR:-/tmp}/fleetsim-options.XXXXXX")
trap 'rm -rf "$dir"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

"$fleetsim" --default-fleet 5 --write-fleet "$dir/fleet.json" || fail "write-fleet"
grep -q '"address": "127.20.0.5"' "$dir/fleet.json" || fail "fleet file lacks the fifth AP"

out=$(timeout 20 "$fleetsim" --fleet "$dir/fleet.json" --port 0 --state-dir "$dir/state" \
    --max-seconds 1 2>&1) || fail "program failed: $out"
echo "$out"
echo "$out" | grep -Eq '^fleetsim: 7 devices listening on port [0-9]+$' || fail "no ready line"
echo "$out" | grep -q "stopped (time limit reached)" || fail "time limit not reached"
[ -s "$dir/state/ssh_host_ed25519_key" ] || fail "host key not kept in the state folder"

"$fleetsim" --demo-fleet --write-fleet "$dir/demo.json" || fail "demo write-fleet"
grep -q '"hostname": "AP-LAB-GARBAGE"' "$dir/demo.json" || fail "demo fleet lacks its fault APs"
grep -q '"unreachable": true' "$dir/demo.json" || fail "demo fleet lacks its unreachable AP"
"$fleetsim" --default-fleet 3 --controllers 7 --write-fleet "$dir/seven.json" || fail "controllers"
grep -q '"hostname": "WLC-HQ-9800-07"' "$dir/seven.json" || fail "seventh controller missing"

"$fleetsim" --default-fleet 5 --controllers 0 >/dev/null 2>&1
[ $? -eq 2 ] || fail "zero controllers accepted"
"$fleetsim" --demo-fleet --controllers 3 >/dev/null 2>&1
[ $? -eq 2 ] || fail "controllers without the default fleet accepted"
"$fleetsim" --demo-fleet --default-fleet 5 >/dev/null 2>&1
[ $? -eq 2 ] || fail "two fleet sources accepted"
"$fleetsim" --default-fleet 5 --bogus >/dev/null 2>&1
[ $? -eq 2 ] || fail "unknown option accepted"
"$fleetsim" --default-fleet 5 --fleet "$dir/fleet.json" >/dev/null 2>&1
[ $? -eq 2 ] || fail "both fleet sources accepted"
sed 's/127.20.0.5/10.20.0.5/' "$dir/fleet.json" >"$dir/bad.json"
err=$("$fleetsim" --fleet "$dir/bad.json" --port 0 --max-seconds 1 2>&1)
[ $? -eq 1 ] || fail "non-loopback fleet accepted"
echo "$err" | grep -q "not a loopback address" || fail "unclear error: $err"
echo PASS
