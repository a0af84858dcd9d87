#!/usr/bin/env bash
# Builds the Debian package zelvafont_<version>_amd64.deb in build-package/ (a Release build with
# Debian's hardening flags), then checks it: its contents (packaging_tests) and lintian, which
# must report no errors. Prints the package's path last.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
build=${ZF_PACKAGE_BUILD_DIR:-build-package}
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
# The flags are given as cache variables, which a build folder made before keeps otherwise.
# CMAKE_SKIP_INSTALL_ALL_DEPENDENCY: cpack installs what is built below, not every test program.
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DZELVAFONT_BENCH=OFF \
  -DCMAKE_C_FLAGS="$(dpkg-buildflags --get CFLAGS) $(dpkg-buildflags --get CPPFLAGS)" \
  -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)" \
  -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" \
  -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON "${launcher[@]}" >/dev/null
cmake --build "$build" -j "$(nproc)" \
  --target zelvafont zelvafont-ctl zf_compressed_docs packaging_tests
rm -f "$build"/zelvafont_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/zelvafont_*_amd64.deb)
ZF_DEB_PACKAGE="$PWD/$deb" "$build"/tests/packaging_tests --gtest_brief=1
# lintian exits non-zero on errors; warnings are printed for the reader.
lintian --fail-on error --tag-display-limit 0 --display-info "$deb"
echo "$deb"
