#!/usr/bin/env bash
# A long autorun batch on the real window, headless, on the emulated press (ticking every 10 ms
# instead of 250 ms), built with AddressSanitizer, UndefinedBehaviorSanitizer and LeakSanitizer.
# Prints the resident memory and the live heap every 25 strokes and fails when a stroke is lost or
# doubled, when the autosave file differs from the chart, when an unexpected warning is logged, when
# clearing the traces does not give the heap back or when a leak is found.
#
# Usage: scripts/soak.sh [strokes]   (default 200)
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
strokes="${1:-200}"
if ! [[ "${strokes}" =~ ^[0-9]+$ ]] || [ "${strokes}" -lt 1 ]; then
    echo "strokes must be a positive number, not '${strokes}'" >&2
    exit 2
fi

install_missing "${BUILD_PACKAGES[@]}"
# The test build (the same options as scripts/test.sh, so the two share it).
build="$ROOT/build-test"
cmake -S "$ROOT" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DZELPRESS_SANITIZE=ON -DZELPRESS_WERROR=ON \
    -DZELPRESS_BUILD_TESTS=ON -DZELPRESS_BUILD_BENCH=ON >/dev/null
cmake --build "$build" --parallel "$(nproc)" --target soak_autorun

# Its own home, so the settings, log and autosave files of the run stay out of the user's.
scratch="$build/soak-home"
rm -rf "$scratch"
mkdir -p "$scratch/runtime"
chmod 700 "$scratch/runtime"
export HOME="$scratch" XDG_RUNTIME_DIR="$scratch/runtime" QT_QPA_PLATFORM=offscreen
export LSAN_OPTIONS="suppressions=$ROOT/tests/lsan.supp"
# A small quarantine for freed memory: with the default 256 MB the resident size keeps climbing
# until the quarantine is full, which would hide a real growth for the first few hundred strokes.
export ASAN_OPTIONS="detect_leaks=1:quarantine_size_mb=16"
echo "==> Soak: ${strokes} strokes on autorun"
"$build/tests/app/soak_autorun" "${strokes}" 10
