#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need, when missing.
# As root it runs apt-get itself; otherwise it prints the exact line to run and stops.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config ccache
    libssh-dev libre2-dev nlohmann-json3-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    clang libclang-rt-14-dev
    openssh-client sshpass
    python3 chromium pybind11-dev python3-dev python3-pytest
    openssh-server dropbear-bin
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
    echo "Missing packages. Install them with:" >&2
    echo "  sudo apt-get update && sudo apt-get install -y ${missing[*]}" >&2
    exit 1
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
