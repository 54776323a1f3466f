#!/bin/sh
# Runs a Windows program under Wine, quietly, in the prefix named by
# WINEPREFIX, with the loader that matches the program's PE machine.
# Where this machine cannot run 32-bit programs at all (no i386 support in
# the kernel, or no 32-bit Wine), a 32-bit program is not started and the
# line below says so; CTest reports such a test as skipped.
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

exe=$1
pe_offset=$(od -An -tu4 -j60 -N4 "$exe" | tr -d ' ')
machine=$(od -An -tx2 -j$((pe_offset + 4)) -N2 "$exe" | tr -d ' ')

if [ "$machine" = "8664" ]; then
  for loader in /usr/lib/wine/wine64 "$(command -v wine64)" "$(command -v wine)"; do
    [ -x "$loader" ] && exec "$loader" "$@"
  done
  echo "wine-run: no 64-bit Wine loader found" >&2
  exit 127
fi

loader=/usr/lib/wine/wine
[ -x "$loader" ] || loader=$(command -v wine)
if ! "$loader" --version >/dev/null 2>&1; then
  echo "wine-run: this machine cannot run 32-bit Windows programs (32-bit Wine does not start)"
  exit 0
fi
exec "$loader" "$@"
