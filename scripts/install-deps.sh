#!/usr/bin/env bash
# Installs what building and testing need on Debian 12, if it is missing.
# Safe to run again; uses sudo when not run as root.
set -euo pipefail

packages=(cmake ninja-build g++ pkg-config libgtest-dev libgmock-dev googletest
          qt6-base-dev qt6-serialport-dev libgl-dev clang-format git
          nlohmann-json3-dev libcli11-dev python3
          help2man dpkg-dev file lintian appstream desktop-file-utils)
if [[ "${1:-}" == "--with-display" ]]; then
    packages+=(xvfb xauth x11-apps imagemagick)
fi

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

sudo=""
if [[ $(id -u) -ne 0 ]]; then sudo="sudo"; fi
echo "Installing: ${missing[*]}" >&2
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
