#!/bin/bash
# The Windows leg: installs the cross compiler, Wine and GoogleTest's sources (Debian packages),
# configures and builds the win32 preset (build-win32) and runs its tests under Wine, each test
# in a throwaway WINEPREFIX (scripts/wine-run.sh). The preset runs six tests at once even on two
# cores: a test under Wine spends most of its time waiting for Wine to start and stop, not
# computing.
#   scripts/test-win32.sh [--no-install] [extra ctest arguments]
set -euo pipefail
cd "$(dirname "$0")/.."

install=1
if [ "${1:-}" = "--no-install" ]; then
  install=0
  shift
fi

packages=(g++-mingw-w64-x86-64-posix wine wine64 googletest cmake ninja-build locales)
if [ "$install" = 1 ]; then
  missing=()
  for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    sudo=""
    [ "$(id -u)" = 0 ] || sudo=sudo
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
  fi
fi

launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
  export CCACHE_NOHASHDIR=1
fi
cmake --preset win32 "${launcher[@]}" >/dev/null
cmake --build --preset win32 -j "${JOBS:-2}"
ctest --preset win32 "$@"
