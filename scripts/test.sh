#!/usr/bin/env bash
# Builds and runs every suite: normally, under AddressSanitizer+UndefinedBehaviorSanitizer,
# and the concurrency suites under ThreadSanitizer; then runs each fuzz harness briefly.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

# Rebuilds of the same sources (another clone, another preset run) come from the compiler
# cache; paths are taken relative to the checkout so any clone of it shares the cache.
if command -v ccache >/dev/null; then
    export CMAKE_CXX_COMPILER_LAUNCHER=ccache CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=true
fi

run_preset() {
    local preset=$1 target=${2:-all}
    echo "==== ${preset}: configure, build, test"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" --target "$target"
    ctest --preset "$preset"
}

run_preset default
echo "==== default: Python modules (pytest)"
scripts/python-tests.sh
run_preset asan
run_preset tsan concurrency_tests
echo "==== fuzz: configure, build, run each harness for 5 s"
scripts/fuzz.sh 5
echo "==== all suites passed"
