#!/usr/bin/env bash
# A system-wide install used by an ordinary user: the library's own folder cannot be
# written. Commands that only read still answer, and one that must write says how to use a
# folder of one's own. Becoming another user needs root; skipped (77) otherwise.
set -u
quorvane=$1
shift  # the folders of the shared libraries to install

user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
if [ "$(id -u)" -ne 0 ] || ! command -v setpriv >/dev/null; then
    echo "needs root and setpriv to run as another user: skipped"
    exit 77
fi
# The test's own temporary folder must be reachable for the other user.
chmod 755 "${TMPDIR:-/tmp}"
install_dir=$(mktemp -d)
chmod 755 "$install_dir"
for dir in "$@"; do cp -a "$dir"/lib*.so* "$install_dir"/; done
if ! "${user[@]}" test -x "$quorvane"; then
    echo "the other user cannot run $quorvane from this checkout: skipped"
    exit 77
fi

failures=0
# expect STATUS TEXT COMMAND...: the exit status, and text its output must hold.
expect() {
    local status=$1 text=$2
    shift 2
    local output
    output=$("${user[@]}" env -u QUORVANE_BASE_DIR LD_LIBRARY_PATH="$install_dir" \
        "$quorvane" "$@" 2>&1)
    local got=$?
    if [ "$got" -ne "$status" ] || [[ "$output" != *"$text"* ]]; then
        echo "FAILED: quorvane $* exited $got (expected $status) with:"
        echo "$output"
        failures=$((failures + 1))
    fi
}

expect 0 "Usage: quorvane" --help
expect 0 "$install_dir/confd/config.ini" config path
expect 0 "config.ini" config show
expect 1 "QUORVANE_BASE_DIR" config set WLC wlc_user admin
expect 1 "QUORVANE_BASE_DIR" aps fetch
[ -e "$install_dir/confd" ] && { echo "FAILED: the install folder was written"; failures=$((failures + 1)); }

rm -rf "$install_dir"
echo "$((5 - failures)) passed, $failures failed"
[ "$failures" -eq 0 ]
