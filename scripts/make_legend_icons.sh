#!/usr/bin/env bash
# Rebuilds the legend icons resources/icons/{visible,invisible,close}.png: compiles the small QPainter
# program make_legend_icons.cpp into a temporary folder and runs it headless. Run it after changing the
# drawing; the PNG files are committed, the build only embeds them.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT

echo "==> Compiling the icon drawer"
# shellcheck disable=SC2046
g++ -std=c++17 -fPIC -o "$WORK/make_legend_icons" "$ROOT/scripts/make_legend_icons.cpp" \
    $(pkg-config --cflags --libs Qt6Gui)
echo "==> Drawing resources/icons/*.png"
mkdir -p "$ROOT/resources/icons"
QT_QPA_PLATFORM=offscreen "$WORK/make_legend_icons" "$ROOT/resources/icons"
