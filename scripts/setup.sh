#!/usr/bin/env bash
# Installs the Debian packages that building and testing need, when any is missing.
# Safe to run again: with everything present it only checks.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config git
    libgtest-dev libgmock-dev libbenchmark-dev
    qt6-base-dev qt6-base-dev-tools libgl-dev
    xvfb xauth xdotool x11-utils imagemagick
    clang libclang-rt-14-dev clang-format clang-tidy
    fonts-dejavu-core
)
if [ -f "$(dirname "$0")/packages.extra" ]; then
    # Extra packages of optional steps, one a line.
    while read -r p; do [ -n "$p" ] && [ "${p#\#}" = "$p" ] && packages+=("$p"); done \
        <"$(dirname "$0")/packages.extra"
fi

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing missing packages: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null || { echo "Need root or sudo to install: ${missing[*]}" >&2; exit 1; }
    sudo=sudo
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
