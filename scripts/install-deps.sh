#!/usr/bin/env bash
# Installs what building, testing and running ZelvaFont Setup needs on a Debian 12 machine.
set -euo pipefail
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
packages=(
  build-essential cmake ninja-build pkg-config git
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libjpeg62-turbo-dev libsqlite3-dev libfontconfig-dev libfreetype-dev libblkid-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  fontconfig fonts-arphic-uming fonts-dejavu-core
  xvfb xauth x11-apps xdg-utils genisoimage
  dbus at-spi2-core python3-pyatspi
  wine g++-mingw-w64-x86-64
  desktop-file-utils appstream lintian
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
