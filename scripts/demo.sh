#!/usr/bin/env bash
# The main job: our host program loads the plug-ins exactly as a viewer does
# and turns the bundled samples into BMP files under out/, one line a file.
# It runs the 32-bit plug-ins where this machine can run 32-bit programs
# under Wine, else the 64-bit build of the same code.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

preset=win32
if ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
  echo "(this machine cannot run 32-bit programs; using the 64-bit build under Wine)"
  preset=win64
fi
cmake --preset "$preset" >/dev/null
log="build/$preset-demo-build.log"
cmake --build --preset "$preset" --target halvory_host imgplug arcplug >"$log" 2>&1 || { cat "$log"; exit 1; }

export WINEPREFIX="$PWD/build/$preset/wineprefix"
[ -f "$WINEPREFIX/system.reg" ] || cmake/wine-init.sh >/dev/null
rm -rf out && mkdir -p out
echo "output folder: out/"
cd "build/$preset/bin"
../../../cmake/wine-run.sh halvory_host.exe ../../../samples ../../../out | tr -d '\r'
