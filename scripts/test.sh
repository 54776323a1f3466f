#!/usr/bin/env bash
# Builds everything and runs every test: the plug-ins under Wine (32-bit,
# and the 64-bit build of the same code), then the native unit tests.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

for preset in win32 win64 native; do
  echo "== $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  ctest --preset "$preset"
done
