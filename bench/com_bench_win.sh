#!/bin/sh
# Figures of Testbay.Document through COM beside JSON-RPC under Wine: a fresh
# prefix, testbay.exe registered, the virtual relay on COM5.
# Usage: bench/com_bench_win.sh <Windows build folder> <testbay-relay> [calls] [activations]
set -eu
build="$(cd "$1" && pwd)"
relay="$2"
export WINEPREFIX="$build/wineprefix-bench" WINEDEBUG=-all
rm -rf "$WINEPREFIX"
run="$(cd "$(dirname "$0")" && pwd)/../tests/windows/under_wine.sh"
# The wine server starts with this first program and keeps its output: quiet.
"$run" "$build/testbay.exe" -RegServer >/dev/null 2>&1 || { echo "testbay.exe -RegServer failed" >&2; exit 1; }
"$relay" --baud 115200 --link "$WINEPREFIX/dosdevices/com5" >/dev/null &
relay_pid=$!
trap 'kill $relay_pid; wineserver -k >/dev/null 2>&1 || true' EXIT
tries=0
until [ -L "$WINEPREFIX/dosdevices/com5" ]; do
    tries=$((tries + 1))
    [ $tries -le 100 ] || { echo "testbay-relay did not start" >&2; exit 1; }
    sleep 0.1
done
program="$("$run" winepath.exe -w "$build/testbay.exe" | tr -d '\r')"
"$run" "$build/com_bench_win.exe" "$program" 5 "${3:-1000}" "${4:-5}" | tr -d '\r'
