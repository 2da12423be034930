#!/usr/bin/env bash
# Installs what is missing, builds with AddressSanitizer and UndefinedBehaviorSanitizer and runs the
# whole test suite headless. Extra arguments are passed to ctest (for example -R protocol).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

install_missing "${BUILD_PACKAGES[@]}"
configure_and_build "$ROOT/build-test" -DCMAKE_BUILD_TYPE=Debug -DZELPRESS_SANITIZE=ON -DZELPRESS_BUILD_TESTS=ON

echo "==> Running the tests"
cd "$ROOT/build-test"
# Headless, and with the tests' own user folders (they also switch Qt's standard paths to test mode).
export QT_QPA_PLATFORM=offscreen
export HOME="$ROOT/build-test/home"
export XDG_RUNTIME_DIR="$ROOT/build-test/runtime"
mkdir -p "$HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
ctest --output-on-failure "$@"
