#!/usr/bin/env bash
# Starts the fleetsim program with 200 APs and logs in to one AP with the OpenSSH client.
# The port is derived from the process id and moved on when another run holds it.
set -u
fleetsim=$1
state="${TMPDIR:-/tmp}/fleetsim-openssh-$$"
out="$state.out"
mkdir -p "$state"
pid=""
cleanup() { [ -n "$pid" ] && kill "$pid" 2>/dev/null; rm -rf "$state" "$out"; }
trap cleanup EXIT

port=""
for attempt in 1 2 3 4 5; do
    candidate=$(( 20000 + ($$ * 7 + attempt * 977) % 30000 ))
    started=$(date +%s%N)
    "$fleetsim" --default-fleet 200 --port "$candidate" --state-dir "$state" --max-seconds 60 >"$out" 2>&1 &
    pid=$!
    for _ in $(seq 1 600); do
        grep -q "listening" "$out" && break
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.05
    done
    if grep -q "202 devices listening on port $candidate" "$out"; then
        port=$candidate
        echo "fleetsim ready in $(( ($(date +%s%N) - started) / 1000000 )) ms on port $port"
        break
    fi
    cat "$out"
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    pid=""
done
[ -n "$port" ] || { echo "FAIL: fleetsim did not start"; exit 1; }

reply=$(printf 'enable\napenable\nterminal length 0\nshow inventory\nexit\n' |
    timeout 20 sshpass -p appass ssh -tt -o StrictHostKeyChecking=no \
        -o UserKnownHostsFile=/dev/null -o ConnectTimeout=10 -o LogLevel=ERROR \
        -p "$port" apadmin@127.20.0.7 2>&1)
echo "$reply"
echo "$reply" | grep -q "AP-HQ-007#" || { echo "FAIL: no privileged prompt"; exit 1; }
echo "$reply" | grep -q "PID: C9117AXI-B  , VID: 01, SN: FOC" || { echo "FAIL: no inventory"; exit 1; }

kill -TERM "$pid"
for _ in $(seq 1 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.05; done
if kill -0 "$pid" 2>/dev/null; then echo "FAIL: fleetsim ignored SIGTERM"; exit 1; fi
wait "$pid"
rc=$?
pid=""
grep -q "fleetsim: stopped" "$out" || { echo "FAIL: no clean stop"; cat "$out"; exit 1; }
[ "$rc" -eq 0 ] || { echo "FAIL: exit status $rc"; exit 1; }
echo PASS
