#!/bin/sh
# Creates the Wine prefix once and waits until Wine is idle, so that the test
# programs after it start quickly. A 64-bit prefix runs 32- and 64-bit programs.
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
loader=/usr/lib/wine/wine64
[ -x "$loader" ] || loader=$(command -v wine64 || command -v wine)
"$loader" wineboot --init >/dev/null 2>&1
wineserver -w
[ -f "$WINEPREFIX/system.reg" ] || { echo "wine prefix not created: $WINEPREFIX"; exit 1; }
echo "wine prefix ready"
