#!/usr/bin/env bash
# Demonstrates Haltgate in the prepared $WINEPREFIX: a throwaway installation with two running
# stand-in Vorlane.exe processes that own the exit event; Haltgate asks both to exit, waits for
# them and checks the installation's executable files.
#   usage: scripts/demo/haltgate.sh BUILD_DIR
set -euo pipefail
build=$(cd "${1:?usage: $0 BUILD_DIR}" && pwd)
: "${WINEPREFIX:?set WINEPREFIX to a prepared prefix}"
export WINEDEBUG=${WINEDEBUG:--all} LC_ALL=C.UTF-8

demo=$WINEPREFIX/drive_c/haltgate-demo
win='C:\haltgate-demo'
pids=()
finish() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$demo"
}
trap finish EXIT

rm -rf "$demo"
mkdir -p "$demo/install/resources"
cp "$build/bin/vorlane_app.exe" "$demo/install/Vorlane.exe"
printf 'MZ' >"$demo/install/resources/helper.dll"
printf '{}' >"$demo/install/resources/settings.json"

echo "== starting two Vorlane.exe stand-ins from $win\\install (they leave 0.3 s and 0.8 s after being asked)"
for delay in 300 800; do
  wine "$win\\install\\Vorlane.exe" --mode event --exit-delay-ms "$delay" --lifetime-ms 60000 \
    --ready "$win\\ready-$delay" </dev/null >/dev/null 2>&1 &
  pids+=($!)
done
for _ in $(seq 100); do
  [ -f "$demo/ready-300" ] && [ -f "$demo/ready-800" ] && break
  sleep 0.1
done

echo "== Haltgate.exe --install-dir $win\\install --log $win\\logs\\haltgate.log"
code=0
wine "$build/bin/Haltgate.exe" --install-dir "$win\\install" --log "$win\\logs\\haltgate.log" \
  </dev/null >/dev/null 2>&1 || code=$?
echo "exit code: $code"
echo "-- the log:"
sed 's/^/   /' "$demo/logs/haltgate.log"
