#!/usr/bin/env bash
# Builds and runs every suite: normally, under AddressSanitizer+UndefinedBehaviorSanitizer,
# and the concurrency suites under ThreadSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

run_preset() {
    local preset=$1 target=${2:-all}
    echo "==== ${preset}: configure, build, test"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" --target "$target"
    ctest --preset "$preset"
}

run_preset default
run_preset asan
run_preset tsan concurrency_tests
echo "==== all suites passed"
