#!/usr/bin/env bash
# Builds ZelvaFont Setup, builds the demo disc from fonts on this machine, makes a sandbox prefix
# in which the disc is the CD-ROM drive D: labelled QRTMV, and starts the launcher there.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)"
demo="$PWD/demo"
if [ -x build/tools/demodisc/zelvafont-demodisc ]; then
  build/tools/demodisc/zelvafont-demodisc --out "$demo/disc" --prefix "$demo/prefix"
fi
export ZELVAFONT_PREFIX="$demo/prefix"
if [ -x build/src/Installmain/zelvafont ]; then
  if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    exec xvfb-run -a build/src/Installmain/zelvafont "$@"
  fi
  exec build/src/Installmain/zelvafont "$@"
fi
exec build/src/ctl/zelvafont-ctl --help
