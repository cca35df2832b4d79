#!/usr/bin/env bash
# Builds the Windows programs and demonstrates them under Wine, in a throwaway prefix:
# Keyward in test mode, Keyward serving and injecting, install/uninstall, and Haltgate.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
export LC_ALL=C.UTF-8

build=build/windows
cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
  -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j "$(nproc)"

export WINEPREFIX=$PWD/build/demo-prefix WINEDEBUG=-all
trap 'tests/wine/prefix.sh cleanup "$WINEPREFIX"' EXIT
echo "== preparing a throwaway Wine prefix"
tests/wine/prefix.sh setup "$WINEPREFIX"

for piece in test_mode serve_input setup haltgate; do
  if [ -x "scripts/demo/$piece.sh" ]; then
    echo
    echo "================ $piece ================"
    "scripts/demo/$piece.sh" "$PWD/$build"
  fi
done
