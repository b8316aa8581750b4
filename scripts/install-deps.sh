#!/usr/bin/env bash
# Installs the Debian 12 packages Pelloran needs to build, run and test.
# Packages already present are left alone, so a second run costs nothing.
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools libqt6printsupport6 qt6-qpa-plugins libgl-dev qt6-svg-dev
  libsqlcipher-dev sqlcipher sqlite3
  libsodium-dev libxlsxwriter-dev libdw-dev libelf-dev
  fonts-dejavu-core xvfb xdotool x11-utils xauth poppler-utils unzip imagemagick python3
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
