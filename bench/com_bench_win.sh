#!/bin/sh
# Figures of Testbay.Document through COM beside JSON-RPC under Wine: a fresh
# prefix, testbay.exe registered, the virtual relay on COM5.
# Usage: bench/com_bench_win.sh <Windows build folder> <testbay-relay> [calls] [activations]
set -eu
build="$(cd "$1" && pwd)"
relay="$2"
export WINEPREFIX="$build/wineprefix-bench" WINEDEBUG=-all
rm -rf "$WINEPREFIX"
here="$(cd "$(dirname "$0")" && pwd)"
run="$here/../tests/windows/under_wine.sh"
. "$here/relay_on_com5.sh"
# The wine server starts with this first program and keeps its output: quiet.
"$run" "$build/testbay.exe" -RegServer >/dev/null 2>&1 || { echo "testbay.exe -RegServer failed" >&2; exit 1; }
start_relay_on_com5 "$relay" --baud 115200
program="$("$run" winepath.exe -w "$build/testbay.exe" | tr -d '\r')"
"$run" "$build/com_bench_win.exe" "$program" 5 "${3:-1000}" "${4:-5}" | tr -d '\r'
