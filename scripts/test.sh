#!/usr/bin/env bash
# Installs what is missing, then checks everything CI checks, failing at the first problem:
#   1. the formatting of every C++ source (clang-format --dry-run --Werror) and the layer order of the
#      source folders (scripts/check_layers.sh);
#   2. a build with AddressSanitizer and UndefinedBehaviorSanitizer, warnings as errors, tests and
#      benchmarks included, and the whole test suite run headless;
#   3. the fuzz targets built with clang and libFuzzer, each run briefly from its seed corpus;
#   4. the Debian package built and its contents, desktop entry and AppStream metadata checked.
# Arguments are passed to ctest (for example -R protocol); with any, steps 3 and 4 are skipped.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

install_missing "${BUILD_PACKAGES[@]}" clang-format git

echo "==> Checking the formatting"
mapfile -t sources < <(git -C "$ROOT" ls-files '*.cpp' '*.h' 2>/dev/null ||
    (cd "$ROOT" && find core app link session data chart maintenance dialogs bench fuzz tests scripts -name '*.cpp' -o -name '*.h'))
(cd "$ROOT" && clang-format --dry-run --Werror "${sources[@]}")

echo "==> Checking the layer order of the source folders"
"$ROOT/scripts/check_layers.sh" "$ROOT"

configure_and_build "$ROOT/build-test" -DCMAKE_BUILD_TYPE=Debug -DZELPRESS_SANITIZE=ON -DZELPRESS_WERROR=ON \
    -DZELPRESS_BUILD_TESTS=ON -DZELPRESS_BUILD_BENCH=ON

echo "==> Running the tests"
# Headless, and with the tests' own user folders (they also switch Qt's standard paths to test mode).
export QT_QPA_PLATFORM=offscreen
export HOME="$ROOT/build-test/home"
export XDG_RUNTIME_DIR="$ROOT/build-test/runtime"
mkdir -p "$HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
# Most tests wait on the emulated press in real time, so they share the cores well; each test program
# has its own application data folder in test mode.
(cd "$ROOT/build-test" && ctest --output-on-failure --parallel "$(nproc)" "$@")
if [ $# -gt 0 ]; then
    exit 0
fi

echo "==> Fuzz targets: build and a short run of each"
"$ROOT/scripts/fuzz.sh" all 3000

echo "==> Package"
"$ROOT/scripts/package.sh"
deb="$(ls "$ROOT"/dist/zelpress_*.deb | head -n 1)"
contents="$(dpkg-deb -c "$deb")"
for expected in ./usr/bin/zelpress ./usr/share/applications/zelpress.desktop \
    ./usr/share/icons/hicolor/scalable/apps/zelpress.svg ./usr/share/icons/hicolor/48x48/apps/zelpress.png \
    ./usr/share/icons/hicolor/256x256/apps/zelpress.png ./usr/share/metainfo/org.zelpress.ZelPress.metainfo.xml; do
    if ! grep -q " ${expected}\$" <<<"$contents"; then
        echo "The package lacks ${expected}" >&2
        exit 1
    fi
done
install_missing desktop-file-utils appstream
desktop-file-validate "$ROOT/resources/desktop/zelpress.desktop"
appstreamcli validate --no-net "$ROOT/resources/desktop/org.zelpress.ZelPress.metainfo.xml"
echo "==> All checks passed"
