#!/usr/bin/env bash
# A bcrypt.dll planted beside Haltgate, as in a folder under TEMP that an installer runs its
# helpers from: the run that hashes an older build still verifies it and quits it through its
# tray window, and the planted DLL is never loaded.
# Usage: planted_dll.sh BIN_DIR PLANTED_DLL   (WINEPREFIX set, its server running)
set -u
bin=$1
dll=$2
name=imports-planted-$$
root=$WINEPREFIX/drive_c/$name
win='C:\'$name
trap 'kill $app 2>/dev/null; rm -rf "$root"' EXIT
fail() { echo "FAIL: $*"; cat "$root/h.log" 2>/dev/null; exit 1; }

mkdir -p "$root/install" "$root/helpers"
cp "$bin/vorlane_app.exe" "$root/install/Vorlane.exe"   # the build that this Haltgate verifies
cp "$bin/Haltgate_legacytest.exe" "$root/helpers/Haltgate.exe"
cp "$dll" "$root/helpers/bcrypt.dll"

wine "$win\\install\\Vorlane.exe" --mode legacy --ready "$win\\app.ready" --lifetime-ms 60000 \
  </dev/null >/dev/null 2>&1 &
app=$!
for _ in $(seq 200); do
  [ -f "$root/app.ready" ] && break
  sleep 0.1
done
[ -f "$root/app.ready" ] || fail "the stand-in did not come up"

# Wine would take its own bcrypt whatever lies beside the program; asked to prefer a native one,
# it searches as Windows does, the program's folder first. Without the crash debugger, a program
# that calls into the planted DLL ends instead of waiting for it.
WINEDLLOVERRIDES='bcrypt=n,b;winedbg.exe=d' wine "$win\\helpers\\Haltgate.exe" --install-dir "$win\\install" --log "$win\\h.log" --timeout-ms 10000 \
  </dev/null >/dev/null 2>&1
code=$?
[ -e "$root/helpers/planted-dll-loaded" ] && fail "the planted bcrypt.dll was loaded"
[ "$code" = 0 ] || fail "exit code $code, expected 0"
grep -q ' method=verified-legacy-tray-quit$' "$root/h.log" || fail "the older build was not verified by its digest"
echo "planted bcrypt.dll: ok"
