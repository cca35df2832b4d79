#!/usr/bin/env bash
# Haltgate and links inside an installation, made from the Linux side (Windows programs under
# Wine cannot create them): a Vorlane.exe started through a link to the installation is found,
# and linked folders, including one that leads back up, are neither followed nor opened.
# Usage: links.sh BIN_DIR   (WINEPREFIX set, its server running)
set -u
bin=$1
name=haltgate-links-$$
root=$WINEPREFIX/drive_c/$name
win='C:\'$name
trap 'kill $holder $app 2>/dev/null; rm -rf "$root"' EXIT
fail() { echo "FAIL: $*"; cat "$root/h.log" 2>/dev/null; exit 1; }

mkdir -p "$root/install" "$root/elsewhere/locked"
cp "$bin/vorlane_app.exe" "$root/install/Vorlane.exe"
cp "$bin/vorlane_app.exe" "$root/holder.exe"
echo x >"$root/elsewhere/locked/Tool.dll"
ln -s ../elsewhere "$root/install/linked"   # a folder with a locked library, reached by a link
ln -s .. "$root/install/loop"               # a link back up
ln -s install "$root/via-link"              # the installation under another name

wine "$win\\holder.exe" --mode none --hold "$win\\elsewhere\\locked\\Tool.dll" \
  --ready "$win\\holder.ready" --lifetime-ms 60000 </dev/null >/dev/null 2>&1 &
holder=$!
wine "$win\\via-link\\Vorlane.exe" --ready "$win\\app.ready" --lifetime-ms 60000 </dev/null >/dev/null 2>&1 &
app=$!
for _ in $(seq 200); do
  [ -f "$root/holder.ready" ] && [ -f "$root/app.ready" ] && break
  sleep 0.1
done
[ -f "$root/holder.ready" ] && [ -f "$root/app.ready" ] || fail "stand-ins did not come up"

wine "$bin/Haltgate.exe" --install-dir "$win\\install" --log "$win\\h.log" --timeout-ms 5000 </dev/null >/dev/null 2>&1
code=$?
[ "$code" = 0 ] || fail "exit code $code, expected 0"
grep -q ' method=local-exit-event-v1$' "$root/h.log" || fail "the Vorlane.exe started through the link was not asked"
grep -q ' exited$' "$root/h.log" || fail "no exited line"
tail -n1 "$root/h.log" | grep -q ' success: selected installation stopped and executable files unlocked$' || fail "no success line"
kill -0 "$holder" 2>/dev/null || fail "the holder of the linked library was disturbed"
echo "links: ok"
