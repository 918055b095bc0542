#!/usr/bin/env bash
# Runs one test process with a fresh base directory and temporary folder of its own.
set -u
dir=$(mktemp -d "${TMPDIR:-/tmp}/quorvane-test.XXXXXX") || exit 1
export QUORVANE_BASE_DIR="$dir/base"
export TMPDIR="$dir"
"$@"
rc=$?
rm -rf "$dir"
exit $rc
