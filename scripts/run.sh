#!/usr/bin/env bash
# Installs what is missing, builds the application and starts it on the emulated press.
# Extra arguments are passed to the application.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

install_missing "${BUILD_PACKAGES[@]}"
configure_and_build "$ROOT/build-run" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZELPRESS_BUILD_TESTS=OFF

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    echo "warning: no desktop display found (DISPLAY and WAYLAND_DISPLAY are empty); the window may not open." >&2
fi
echo "==> Starting zelpress --emulated-press"
exec "$ROOT/build-run/zelpress" --emulated-press "$@"
