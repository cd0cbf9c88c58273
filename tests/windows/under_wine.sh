#!/bin/sh
# Runs a Windows program under Wine in $WINEPREFIX, made on first use.
set -eu
: "${TESTBAY_WINE:=wine64}"
export WINEDEBUG="${WINEDEBUG:--all}"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    # No Mono or Gecko installers: nothing here needs them.
    WINEDLLOVERRIDES="mscoree,mshtml=" wineboot -i >/dev/null 2>&1
fi
exec "$TESTBAY_WINE" "$@"
