#!/usr/bin/env bash
# Makes the Debian package build-package/tessaly_VERSION_ARCH.deb: a release build in which the
# package manager, not Tessaly, does the updating, compiled with Debian's hardening flags.
set -euo pipefail
cd "$(dirname "$0")/.."
# dpkg-dev: dpkg-shlibdeps and dpkg-buildflags; file: how CPack finds the programs to scan.
bash scripts/setup.sh dpkg-dev file

export DEB_BUILD_MAINT_OPTIONS=hardening=+all
# The release date in the metadata and the files' times: the last commit's.
export SOURCE_DATE_EPOCH="${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || date +%s)}"
build=build-package
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DTESSALY_BUILD_TESTS=OFF -DTESSALY_SELF_UPDATE=OFF \
    -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)" \
    -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" \
    -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON >/dev/null
# Only what the package holds.
cmake --build "$build" --target tessaly tessaly-pack tessaly-docs
(cd "$build" && cpack -G DEB)
