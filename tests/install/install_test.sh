#!/usr/bin/env bash
# Installs the build into a temporary prefix, builds the consumer program against it with
# find_package(Quorvane) and runs it.
# Usage: install_test.sh <build dir> <consumer source dir> <cmake> <c++ compiler> <generator>
#        [<make program>] [<sanitize flags>]
set -euo pipefail

build_dir=$1 consumer_src=$2 cmake=$3 cxx=$4 generator=$5 make_program=${6:-} sanitize=${7:-}

work=$(mktemp -d "${TMPDIR:-/tmp}/quorvane-install.XXXXXX")
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

fail() { echo "install test: $*" >&2; exit 1; }

"$cmake" --install "$build_dir" --prefix "$prefix" > "$work/install.log" ||
    { cat "$work/install.log"; fail "cmake --install failed"; }

configure=("$cmake" -S "$consumer_src" -B "$work/build" -G "$generator"
    -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_BUILD_TYPE=Release)
[[ -n $make_program ]] && configure+=(-DCMAKE_MAKE_PROGRAM="$make_program")
if [[ -n $sanitize ]]; then
    configure+=(-DCMAKE_CXX_FLAGS="-fsanitize=$sanitize" -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=$sanitize")
fi
"${configure[@]}" > "$work/configure.log" 2>&1 ||
    { cat "$work/configure.log"; fail "configuring the consumer failed"; }
"$cmake" --build "$work/build" > "$work/build.log" 2>&1 ||
    { cat "$work/build.log"; fail "building the consumer failed"; }

output=$(QUORVANE_BASE_DIR="$work/base" QUORVANE_DIAGNOSTICS=stderr "$work/build/consumer" 2>"$work/stderr") ||
    fail "the consumer failed"
load_line=$(sed -n 1p "$work/stderr")
echo "$output"

[[ $load_line == ">>> LOADED Quorvane FROM: $prefix/"*libquorvane.so* ]] ||
    fail "unexpected load line: $load_line"
# "secret" masked with the fixed key and base64-encoded.
[[ $(sed -n 1p <<< "$output") == "ENC::IBEMAAA5" ]] || fail "unexpected scrambled value"
[[ $(sed -n 2p <<< "$output") == "engine: RUN1" ]] || fail "the engine was not constructed"
[[ -d $work/base/confd && -d $work/base/data ]] || fail "the load did not create confd and data"

# A base directory that cannot be created does not stop the host: the load says why on
# standard error, and constructing an engine raises that reason.
reason="Quorvane cannot be loaded: cannot create the folder /proc/quorvane-cannot-exist/confd"
output=$(QUORVANE_BASE_DIR=/proc/quorvane-cannot-exist QUORVANE_DIAGNOSTICS=stderr \
    "$work/build/consumer" 2>"$work/stderr") || fail "a failed load ended the host"
grep -q "^$reason" "$work/stderr" || { cat "$work/stderr"; fail "no reason on standard error"; }
[[ $(sed -n 2p <<< "$output") == "engine: $reason"*"QUORVANE_BASE_DIR"* ]] ||
    { echo "$output"; fail "the engine did not raise the load failure"; }

echo "install test: passed"
