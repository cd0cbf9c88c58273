#!/bin/sh
# Runs a Windows program under Wine in $WINEPREFIX, made on first use.
set -eu
: "${TESTBAY_WINE:=$(command -v wine64 || echo /usr/lib/wine/wine64)}"
export WINEDEBUG="${WINEDEBUG:--all}"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    # No Mono or Gecko installers: nothing here needs them.
    WINEDLLOVERRIDES="mscoree,mshtml=" wineboot -i >/dev/null 2>&1
    # The new prefix's services go on starting after wineboot; a COM server
    # started meanwhile may never be reached by its client.
    wineserver -w
fi
exec "$TESTBAY_WINE" "$@"
