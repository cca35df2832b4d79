#!/usr/bin/env bash
# Keyward in test mode under Wine: the helper serves \\.\pipe\demo with the protocol of the real
# service but injects nothing; the stand-in client says hello, tries a key before enabling,
# enables, sends a key, asks for the status, sends an unsupported type and disables.
# Usage: scripts/demo/test_mode.sh BUILD_DIR   (with $WINEPREFIX ready)
set -euo pipefail
build=${1:?usage: $0 BUILD_DIR}
: "${WINEPREFIX:?WINEPREFIX must name a prepared Wine prefix}"
export WINEDEBUG=${WINEDEBUG:--all} LC_ALL=C.UTF-8

log=$(mktemp)
wine "$build/bin/Keyward.exe" --test-mode --pipe demo </dev/null >/dev/null 2>"$log" &
keyward=$!
stop_keyward() {
  kill "$keyward" 2>/dev/null || true
  wait "$keyward" 2>/dev/null || true
  rm -f "$log"
}
trap stop_keyward EXIT

echo "Keyward.exe --test-mode --pipe demo (pid $keyward); client frames follow (>> sent, << received)"
status=0
wine "$build/bin/vorlane_client.exe" --pipe demo \
  '{"type":"hello","protocol":1}' \
  '{"type":"key","code":"KeyA","down":true}' \
  '{"type":"enable"}' \
  '{"type":"key","code":"KeyA","down":true}' \
  '{"type":"status"}' \
  '{"type":"wiggle"}' \
  '{"type":"disable"}' \
  '@expect-close' </dev/null || status=$?
echo "client exit code: $status"
if [ -s "$log" ]; then
  echo "Keyward standard error:"
  cat "$log"
fi
exit "$status"
