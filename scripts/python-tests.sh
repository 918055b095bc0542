#!/usr/bin/env bash
# Runs the pytest suite of the Python modules against the default preset's build, with a
# scratch temporary folder (the simulated fleets' base directories go there). Extra
# arguments go to pytest, e.g.: scripts/python-tests.sh -k ctrl_c
set -uo pipefail
cd "$(dirname "$0")/.."
build=build/default/python
if [ ! -f "$build/interpreter" ] || [ ! -d "$build/quorvane" ]; then
    echo "Python modules not built (pybind11-dev or python3-dev missing?): pytest skipped" >&2
    exit 0
fi
python=$(cat "$build/interpreter")
scratch=$(mktemp -d "${TMPDIR:-/tmp}/quorvane-pytest.XXXXXX") || exit 1
trap 'rm -rf "$scratch"' EXIT
PYTHONPATH="$PWD/$build${PYTHONPATH:+:$PYTHONPATH}" TMPDIR="$scratch" \
    "$python" -m pytest -q -p no:cacheprovider python/tests "$@"
rc=$?
# 5: no test was collected (a -k that matches nothing); not a failure of the suite.
if [ $rc -eq 5 ]; then
    echo "pytest collected no tests" >&2
    rc=0
fi
exit $rc
