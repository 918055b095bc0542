#!/usr/bin/env bash
# Installs what is missing, builds the command-line host and runs it with the given
# arguments, e.g.: scripts/quorvane.sh flash-check --simulate
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/install-deps.sh"
(cd "$root" && cmake --preset default >/dev/null && cmake --build --preset default --target quorvane-cli >/dev/null)
exec "$root/build/default/apps/quorvane-cli/quorvane" "$@"
