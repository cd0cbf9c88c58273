# Sourced by the Windows benchmarks: starts testbay-relay with the given
# options on COM5 of $WINEPREFIX, stopped with the wine server at exit.
# Usage: start_relay_on_com5 <testbay-relay> [options...]
start_relay_on_com5() {
    relay_program="$1"
    shift
    "$relay_program" "$@" --link "$WINEPREFIX/dosdevices/com5" >/dev/null &
    relay_pid=$!
    trap 'kill $relay_pid; wineserver -k >/dev/null 2>&1 || true' EXIT
    tries=0
    until [ -L "$WINEPREFIX/dosdevices/com5" ]; do
        tries=$((tries + 1))
        [ $tries -le 100 ] || { echo "testbay-relay did not start" >&2; exit 1; }
        sleep 0.1
    done
}
