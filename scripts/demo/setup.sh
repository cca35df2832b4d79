#!/usr/bin/env bash
# Demonstrates Keyward --install and --uninstall in the prepared $WINEPREFIX, with a throwaway
# Program Files and local application-data folder and the schtasks double standing in for the
# system's tool (the prefix's own schtasks.exe is put back at the end).
#   usage: scripts/demo/setup.sh BUILD_DIR
set -euo pipefail
build=$(cd "${1:?usage: $0 BUILD_DIR}" && pwd)
: "${WINEPREFIX:?set WINEPREFIX to a prepared prefix}"
export WINEDEBUG=${WINEDEBUG:--all} LC_ALL=C.UTF-8

sid=S-1-5-21-0-0-0-1000
drive=$WINEPREFIX/drive_c
demo=$drive/keyward-demo
tool=$drive/windows/system32/schtasks.exe
current_version='HKLM\Software\Microsoft\Windows\CurrentVersion'

restore() {
  if [ -f "$tool.demo-original" ]; then mv -f "$tool.demo-original" "$tool"; fi
  wine reg add "$current_version" /v ProgramFilesDir /d 'C:\Program Files' /f >/dev/null 2>&1 || true
  rm -rf "$demo"
}
trap restore EXIT

echo "== putting the schtasks double in place of the system's tool"
# A demonstration that died half-way left the original in the backup; keep that one.
[ -f "$tool.demo-original" ] || cp "$tool" "$tool.demo-original"
cp "$build/bin/schtasks_double.exe" "$tool"
export WINEDLLOVERRIDES="schtasks.exe=n" SCHTASKS_DOUBLE_DIR='C:\keyward-demo\schtasks'

rm -rf "$demo"
mkdir -p "$demo/bin" "$demo/gui" "$demo/pf" "$demo/la" "$demo/schtasks"
cp "$build/bin/Keyward.exe" "$demo/bin/"
have_client=no
if [ -f "$build/bin/vorlane_client.exe" ]; then
  cp "$build/bin/vorlane_client.exe" "$demo/gui/Vorlane.exe"
  have_client=yes
else
  printf 'MZ' >"$demo/gui/Vorlane.exe"
fi
# Keyward takes Program Files from the system, which reads it from the registry: this throwaway
# prefix points it at the demonstration's folder (and back to the default at the end).
wine reg add "$current_version" /v ProgramFilesDir /d 'C:\keyward-demo\pf' /f >/dev/null 2>&1
# LOCALAPPDATA can only be changed from the Windows side.
cat >"$demo/keyward.cmd" <<'CMD'
@echo off
set LOCALAPPDATA=C:\keyward-demo\la
start "" /wait C:\keyward-demo\bin\Keyward.exe %*
exit /b %errorlevel%
CMD

keyward() {
  local code=0
  wine cmd /c 'C:\keyward-demo\keyward.cmd' "$@" </dev/null >/dev/null 2>&1 || code=$?
  echo "exit code: $code"
}
show_outcome() {
  echo "-- run outcome (%LOCALAPPDATA%\\Vorlane\\input-helper-setup.json):"
  cat "$demo/la/Vorlane/input-helper-setup.json" 2>/dev/null || echo "(none)"
  echo
}
show_layout() {
  echo "-- under the throwaway Program Files:"
  (cd "$demo/pf" && find . -mindepth 1 | sort | sed 's/^/   /')
}

echo
echo "== Keyward.exe --install --gui-dir C:\\keyward-demo\\gui --user-sid $sid"
keyward --install --gui-dir 'C:\keyward-demo\gui' --user-sid "$sid"
show_outcome
show_layout
echo "-- the setup record:"
cat "$demo/pf/Vorlane/InputHelper/users/$sid.json" 2>/dev/null || echo "(none)"; echo
echo "-- what schtasks was asked:"
sed 's/^/   /' "$demo/schtasks/log.txt"

if [ "$have_client" = yes ]; then
  echo
  echo "== a short session of the recorded Vorlane.exe with the helper the task started"
  wine 'C:\keyward-demo\gui\Vorlane.exe' --pipe "vorlane-input-$sid-1" --connect-timeout-ms 10000 \
    '{"type":"hello","protocol":1}' '{"type":"status"}' </dev/null 2>/dev/null | tr -d '\r' || true
fi

echo
echo "== Keyward.exe --uninstall"
: >"$demo/schtasks/log.txt"
keyward --uninstall
show_outcome
show_layout
echo "-- what schtasks was asked:"
sed 's/^/   /' "$demo/schtasks/log.txt"
