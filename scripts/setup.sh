#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, and any named as arguments
# (scripts/setup.sh [PACKAGE...]); only what is missing.
set -euo pipefail

packages=(
  g++ cmake ninja-build pkg-config
  libicu-dev libssl-dev libsimdjson-dev libcurl4-openssl-dev
  libcli11-dev nlohmann-json3-dev
  libarchive-dev git
  python3 openssl
  libgtest-dev
  qt6-base-dev qt6-qpa-plugins qt6-wayland libgl-dev
  fonts-dejavu-core adwaita-icon-theme
  librsvg2-bin help2man desktop-file-utils appstream xdg-utils
  "$@"
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
echo "Installing: ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
