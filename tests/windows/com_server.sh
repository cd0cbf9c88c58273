#!/bin/sh
# Registers testbay.exe ($1) as "Testbay.Document", creates and calls the
# object from a COM client ($2) and from a VBScript script through Wine's
# cscript.exe, and removes the registration again.
set -eu
run="$(dirname "$0")/under_wine.sh"
"$run" "$1" -RegServer
"$run" "$2" create
"$run" "$2" types
# The server ends when the client lets go of the object; a server left
# running would keep the Wine session open.
timeout 30 wineserver -w
here="$(cd "$(dirname "$0")" && pwd)"
script="$("$TESTBAY_WINE" winepath.exe -w "$here/com_script.vbs" | tr -d '\r')"
"$run" cscript.exe //nologo "$script" | tr -d '\r' | diff -u "$here/com_script.expected" -
timeout 30 wineserver -w
"$run" "$1" -UnregServer
"$run" "$2" absent
