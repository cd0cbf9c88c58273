#!/bin/sh
# Process CPU of the Windows build while it waits for an answer that never
# comes, under Wine: a fresh prefix, testbay-relay --silent on COM5.
# Usage: bench/silent_wait_bench_win.sh <Windows build folder> <testbay-relay> [wait ms] [waits]
set -eu
build="$(cd "$1" && pwd)"
relay="$2"
export WINEPREFIX="$build/wineprefix-silent-bench" WINEDEBUG=-all
rm -rf "$WINEPREFIX"
here="$(cd "$(dirname "$0")" && pwd)"
run="$here/../tests/windows/under_wine.sh"
. "$here/relay_on_com5.sh"
WINEDLLOVERRIDES="mscoree,mshtml=" wineboot -i >/dev/null 2>&1
wineserver -w
# One wine server for the whole run, whose CPU is counted as well.
wineserver -p >/dev/null 2>&1
start_relay_on_com5 "$relay" --silent
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
