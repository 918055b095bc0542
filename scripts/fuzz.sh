#!/usr/bin/env bash
# Builds the fuzz preset and runs every harness for SECONDS each (default 60), one after
# the other, starting from the seeds in fuzz/corpus/<harness>/. What a harness learns goes
# to build/fuzz/corpus/<harness>/, crashing inputs to build/fuzz/artifacts/; the seeds in
# the source tree are never written. Prints executions and coverage per harness and fails
# when any harness found a crash.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
[[ $seconds =~ ^[1-9][0-9]*$ ]] || { echo "usage: scripts/fuzz.sh [SECONDS]" >&2; exit 2; }

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

build=build/fuzz
# Harnesses that write files run far faster in memory than on a disk that honours fsync.
scratch_root=${TMPDIR:-/tmp}
[ -d /dev/shm ] && [ -w /dev/shm ] && scratch_root=/dev/shm
scratch=$(mktemp -d "$scratch_root/quorvane-fuzz.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$build/artifacts" "$build/logs"
# The engine library creates its folders when loaded; they go to a scratch base directory.
export QUORVANE_BASE_DIR="$scratch/base" QUORVANE_DIAGNOSTICS=stderr TMPDIR="$scratch"

failed=()
while read -r name; do
    [ -n "$name" ] || continue
    mkdir -p "$build/corpus/$name"
    log="$build/logs/$name.log"
    if "$build/fuzz/fuzz_$name" -max_total_time="$seconds" -timeout=30 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$build/artifacts/$name-" \
        "$build/corpus/$name" "fuzz/corpus/$name" >"$log" 2>&1; then
        status=ok
    else
        status=FAILED
        failed+=("$name")
    fi
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n1)
    cov=$(grep -o 'cov: [0-9]*' "$log" | tail -n1 | cut -d' ' -f2)
    printf '%-16s %-6s executions %-10s coverage %s\n' "$name" "$status" "${runs:-?}" "${cov:-?}"
done <"$build/fuzz/harnesses.txt"

if [ ${#failed[@]} -gt 0 ]; then
    echo "fuzzing found crashes in: ${failed[*]} (logs in $build/logs, inputs in $build/artifacts)" >&2
    exit 1
fi
