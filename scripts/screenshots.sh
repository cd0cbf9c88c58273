#!/usr/bin/env bash
# Draws the desktop window's screenshots into docs/ against the virtual relay,
# on Qt's offscreen platform (no display needed).
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${BUILD_DIR:-build-screenshots}
OUT=${1:-docs}

cmake -S . -B "$BUILD" -G Ninja -DTESTBAY_BENCH=OFF >/dev/null
cmake --build "$BUILD" --target testbay_views testbay_sim
# The layers' libraries from the top down, as the linker wants them.
layers=$(sed -n 's/^set(TESTBAY_LAYERS \(.*\))$/\1/p' cmake/layers.cmake)
libraries=()
for layer in $layers; do libraries=("$BUILD/libtestbay_$layer.a" "${libraries[@]}"); done
# shellcheck disable=SC2046
c++ -std=c++20 -O1 -fPIC -Wall -Wextra -Werror -Isrc -I. -Itests $(pkg-config --cflags Qt6Widgets) \
    scripts/screenshots.cpp "$BUILD/libtestbay_views.a" "$BUILD/libtestbay_sim.a" "${libraries[@]}" \
    $(pkg-config --libs Qt6Widgets) -pthread -o "$BUILD/screenshots"
mkdir -p "$OUT"
QT_QPA_PLATFORM=offscreen "$BUILD/screenshots" "$OUT"
