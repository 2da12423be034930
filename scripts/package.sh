#!/usr/bin/env bash
# Builds the Debian package of the program (Release) into dist/. Installs what the build and the
# packaging need first when it is missing. Install the result with: sudo apt-get install ./dist/<file>.deb
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

install_missing "${BUILD_PACKAGES[@]}" dpkg-dev file
configure_and_build "$ROOT/build-package" -DCMAKE_BUILD_TYPE=Release -DZELPRESS_BUILD_TESTS=OFF

echo "==> Packing"
mkdir -p "$ROOT/dist"
(cd "$ROOT/build-package" && cpack -G DEB -B "$ROOT/dist" >/dev/null)
rm -rf "$ROOT/dist/_CPack_Packages"
ls "$ROOT"/dist/*.deb
