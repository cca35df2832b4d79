#!/usr/bin/env bash
# An rstrtmgr.dll planted beside Haltgate: a run whose final check meets a locked library asks
# who holds it, and the planted DLL is never loaded for that.
# Usage: planted_rstrtmgr.sh BIN_DIR PLANTED_DLL   (WINEPREFIX set, its server running)
set -u
bin=$1
dll=$2
name=imports-planted-rm-$$
root=$WINEPREFIX/drive_c/$name
win='C:\'$name
trap 'kill $holder 2>/dev/null; rm -rf "$root"' EXIT
fail() { echo "FAIL: $*"; cat "$root/h.log" 2>/dev/null; exit 1; }

mkdir -p "$root/install" "$root/helpers"
cp "$bin/vorlane_app.exe" "$root/install/Vorlane.exe"   # present, not running
printf 'x' >"$root/install/Core.dll"
cp "$bin/vorlane_app.exe" "$root/helpers/holder.exe"
cp "$bin/Haltgate.exe" "$root/helpers/Haltgate.exe"
cp "$dll" "$root/helpers/rstrtmgr.dll"

wine "$win\\helpers\\holder.exe" --mode none --hold "$win\\install\\Core.dll" --ready "$win\\holder.ready" \
  --lifetime-ms 60000 </dev/null >/dev/null 2>&1 &
holder=$!
for _ in $(seq 200); do
  [ -f "$root/holder.ready" ] && break
  sleep 0.1
done
[ -f "$root/holder.ready" ] || fail "the holder did not come up"

# As for bcrypt.dll: asked to prefer a native rstrtmgr.dll, Wine searches the program's folder
# first, as Windows does, unless the program asks for the system folder.
WINEDLLOVERRIDES='rstrtmgr=n,b;winedbg.exe=d' wine "$win\\helpers\\Haltgate.exe" --install-dir "$win\\install" \
  --log "$win\\h.log" --timeout-ms 1000 </dev/null >/dev/null 2>&1
code=$?
[ -e "$root/helpers/planted-dll-loaded" ] && fail "the planted rstrtmgr.dll was loaded"
[ "$code" = 12 ] || fail "exit code $code, expected 12"
grep -q 'Core.dll is still in use or not writable: ' "$root/h.log" || fail "the locked library was not logged"
echo "planted rstrtmgr.dll: ok"
