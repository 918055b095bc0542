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

output=$(QUORVANE_BASE_DIR="$work/base" "$work/build/consumer") || fail "the consumer failed"
echo "$output"

load_line=$(sed -n 1p <<< "$output")
[[ $load_line == ">>> LOADED Quorvane FROM: $prefix/"*libquorvane.so* ]] ||
    fail "unexpected load line: $load_line"
# "secret" masked with the fixed key and base64-encoded.
[[ $(sed -n 2p <<< "$output") == "ENC::IBEMAAA5" ]] || fail "unexpected scrambled value"
[[ -d $work/base/confd && -d $work/base/data ]] || fail "the load did not create confd and data"

# A base directory that cannot be created fails the load with a message saying why.
if errors=$(QUORVANE_BASE_DIR=/proc/quorvane-cannot-exist "$work/build/consumer" 2>&1); then
    fail "the load succeeded without its folders"
fi
grep -q "Quorvane cannot be loaded: cannot create the folder /proc/quorvane-cannot-exist/confd" \
    <<< "$errors" || { echo "$errors"; fail "no clear message for a failed load"; }

echo "install test: passed"
