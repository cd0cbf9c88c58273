#!/bin/sh
# Process CPU of the Windows build while it waits for an answer that never
# comes, under Wine: a fresh prefix, testbay-relay --silent on COM5.
# Usage: bench/silent_wait_bench_win.sh <Windows build folder> <testbay-relay> [wait ms] [waits]
set -eu
build="$(cd "$1" && pwd)"
relay="$2"
export WINEPREFIX="$build/wineprefix-silent-bench" WINEDEBUG=-all
rm -rf "$WINEPREFIX"
run="$(cd "$(dirname "$0")" && pwd)/../tests/windows/under_wine.sh"
WINEDLLOVERRIDES="mscoree,mshtml=" wineboot -i >/dev/null 2>&1
wineserver -w
# One wine server for the whole run, whose CPU is counted as well.
wineserver -p >/dev/null 2>&1
"$relay" --silent --link "$WINEPREFIX/dosdevices/com5" >/dev/null &
relay_pid=$!
trap 'kill $relay_pid; wineserver -k >/dev/null 2>&1 || true' EXIT
tries=0
until [ -L "$WINEPREFIX/dosdevices/com5" ]; do
    tries=$((tries + 1))
    [ $tries -le 100 ] || { echo "testbay-relay did not start" >&2; exit 1; }
    sleep 0.1
done
# The wine server of this prefix only: other prefixes may have their own.
server_pid() {
    for pid in $(pgrep wineserver); do
        tr "\\0" "\\n" 2>/dev/null <"/proc/$pid/environ" | grep -qx "WINEPREFIX=$WINEPREFIX" && echo "$pid"
    done
}
pid="$(server_pid)"
[ -n "$pid" ] || { echo "no wine server runs for $WINEPREFIX" >&2; exit 1; }
ticks="$(getconf CLK_TCK)"
server_cpu() { awk -v ticks="$ticks" '{ print int(($14 + $15) * 1000 / ticks) }' "/proc/$pid/stat"; }
before="$(server_cpu)"
"$run" "$build/silent_wait_bench_win.exe" 5 "${3:-5000}" "${4:-1}" | tr -d '\r'
after="$(server_cpu)"
echo "wine server CPU meanwhile: $((after - before)) ms"
