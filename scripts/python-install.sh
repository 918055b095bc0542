#!/usr/bin/env bash
# Makes `python3 -c "import quorvane, tessivar"` work: installs the Debian packages the
# build needs, builds the Python modules of the default preset and puts a quorvane.pth file
# into the system Python's dist-packages that points at the build output. Rebuilding
# (cmake --build --preset default) updates what Python imports; nothing is copied.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/install-deps.sh"
cd "$root"
cmake --preset default >/dev/null
cmake --build --preset default --target python_modules quorvane-cli fleetsim >/dev/null
build="$root/build/default/python"
[ -d "$build/quorvane" ] || { echo "the Python modules were not built; see cmake's output" >&2; exit 1; }
built_for=$(cat "$build/interpreter")
abi() { "$1" -c 'import sysconfig; print(sysconfig.get_config_var("EXT_SUFFIX"))'; }

# The interpreter the modules were built for, and the `python3` a user types when it is
# another one of the same ABI (pyenv, a newer patch release).
interpreters=("$built_for")
on_path=$(command -v python3 || true)
if [ -n "$on_path" ] && [ "$(readlink -f "$on_path")" != "$(readlink -f "$built_for")" ] &&
    [ "$(abi "$on_path" 2>/dev/null)" = "$(abi "$built_for")" ]; then
    interpreters+=("$on_path")
fi

for python in "${interpreters[@]}"; do
    site=$("$python" -c 'import sysconfig; print(sysconfig.get_paths()["purelib"])')
    pth="$site/quorvane.pth"
    if [ ! -w "$(dirname "$site")" ] && [ ! -w "$site" ]; then
        echo "Cannot write $pth. Run as root, or add the modules to this Python yourself:" >&2
        echo "  echo $build | sudo tee $pth" >&2
        exit 1
    fi
    mkdir -p "$site"
    echo "$build" >"$pth"
    (cd / && QUORVANE_DIAGNOSTICS=stderr "$python" -c \
        'import quorvane, tessivar; quorvane.compute_max_workers(1)' 2>/dev/null)
    echo "$python now imports quorvane and tessivar from $build (via $pth)"
done
