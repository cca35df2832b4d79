#!/usr/bin/env bash
# The example installer, built with makensis around the real Haltgate.exe and the stand-in
# Vorlane.exe, run silently under Wine in four situations: a running Vorlane.exe that honours
# the exit event, a library held by another program, a Vorlane.exe that ignores every request,
# and no installation yet. Each case has its own installation folder and its own TEMP.
# Usage: nsis_installer.sh MAKENSIS SCRIPT BIN_DIR   (WINEPREFIX set, its server running)
set -u
makensis=$1
script=$2
bin=$3
name=nsis-installer-$$
root=$WINEPREFIX/drive_c/$name
win='C:\'$name
children=()
trap 'for c in "${children[@]}"; do kill "$c" 2>/dev/null; done; rm -rf "$root"' EXIT
failures=0
fail() { echo "FAIL [$case]: $*"; [ -f "$root/$case/temp/Vorlane-Haltgate.log" ] && sed 's/^/  log: /' "$root/$case/temp/Vorlane-Haltgate.log"; failures=$((failures + 1)); }

# The release: the stand-in as Vorlane.exe, a library and a version file, all new.
mkdir -p "$root/payload"
cp "$bin/vorlane_app.exe" "$root/payload/Vorlane.exe"
printf 'core 2' >"$root/payload/vorlane-core.dll"
printf '2' >"$root/payload/version.txt"
"$makensis" -WX -V2 -DHALTGATE="$bin/Haltgate.exe" -DPAYLOAD="$root/payload" -DHALTGATE_TIMEOUT_MS=3000 \
  -DOUTFILE="$root/vorlane-setup.exe" "$script" || { echo "FAIL: makensis"; exit 1; }

# An installation of the previous release (the stand-in again as its Vorlane.exe).
old_installation() {
  mkdir -p "$root/$case/Vorlane"
  cp "$bin/vorlane_app.exe" "$root/$case/Vorlane/Vorlane.exe"
  printf 'core 1' >"$root/$case/Vorlane/vorlane-core.dll"
  printf '1' >"$root/$case/Vorlane/version.txt"
}

# Starts PROGRAM (a Windows path) with ARGS in the background, waits until it is set up; sets $child.
start() {
  local program=$1
  shift
  wine "$program" "$@" --ready "$win\\$case\\ready" --lifetime-ms 60000 </dev/null >/dev/null 2>&1 &
  child=$!
  children+=("$child")
  for _ in $(seq 300); do
    [ -f "$root/$case/ready" ] && return 0
    sleep 0.1
  done
  fail "the stand-in did not come up"
}

# Runs the installer silently for this case; sets $code.
install() {
  mkdir -p "$root/$case/temp"
  wine cmd /c "set TEMP=$win\\$case\\temp&& set TMP=$win\\$case\\temp&& $win\\vorlane-setup.exe /S /RESULT=$win\\$case\\result.txt /D=$win\\$case\\Vorlane" \
    </dev/null >/dev/null 2>&1
  code=$?
}

installed_version() { cat "$root/$case/Vorlane/version.txt" 2>/dev/null; }
core() { cat "$root/$case/Vorlane/vorlane-core.dll" 2>/dev/null; }
log_lines() { cut -d' ' -f2- "$root/$case/temp/Vorlane-Haltgate.log" 2>/dev/null; }
result_message() { iconv -f UTF-16 -t UTF-8 "$root/$case/result.txt" 2>/dev/null; }

expect_untouched() {
  [ "$code" != 0 ] || fail "exit code 0, expected a failure"
  [ "$(installed_version)" = 1 ] && [ "$(core)" = 'core 1' ] || fail "files were replaced"
  result_message | grep -qF "$win\\$case\\temp\\Vorlane-Haltgate.log" ||
    fail "the message does not name the log: $(result_message)"
  log_lines | grep -q '^holder ' && fail "Wine named a holder"
}

case=honours-exit-event
old_installation
start "$win\\$case\\Vorlane\\Vorlane.exe" --mode event --exit-delay-ms 300
app=$child
install
[ "$code" = 0 ] || fail "exit code $code, expected 0"
[ "$(installed_version)" = 2 ] && [ "$(core)" = 'core 2' ] || fail "files not replaced"
log_lines | grep -qx 'success: selected installation stopped and executable files unlocked' || fail "no success line"
wait "$app"
app_code=$?
[ "$app_code" = 0 ] || fail "the stand-in ended with $app_code, not by itself"
[ -e "$root/$case/result.txt" ] && fail "a message was written on success"

case=library-held-by-another-program
old_installation
mkdir -p "$root/$case/elsewhere"
cp "$bin/vorlane_app.exe" "$root/$case/elsewhere/holder.exe"
start "$win\\$case\\elsewhere\\holder.exe" --mode none --hold "$win\\$case\\Vorlane\\vorlane-core.dll"
holder=$child
install
expect_untouched
[ "$code" = 12 ] || fail "exit code $code, expected Haltgate's 12"
log_lines | tail -n 1 | grep -qF "failure code=12 $win\\$case\\Vorlane\\vorlane-core.dll is still in use" ||
  fail "the log does not name the library"
kill "$holder" 2>/dev/null

case=ignores-every-request
old_installation
start "$win\\$case\\Vorlane\\Vorlane.exe" --mode event --ignore-request
app=$child
install
expect_untouched
[ "$code" = 10 ] || fail "exit code $code, expected Haltgate's 10"
kill -0 "$app" 2>/dev/null || fail "the stand-in no longer runs"
kill "$app" 2>/dev/null

case=no-installation-yet
mkdir -p "$root/$case"
install
[ "$code" = 0 ] || fail "exit code $code, expected 0"
[ "$(installed_version)" = 2 ] && [ "$(core)" = 'core 2' ] && [ -f "$root/$case/Vorlane/Vorlane.exe" ] ||
  fail "files not installed"

[ "$failures" = 0 ] || exit 1
echo "nsis installer: four cases ok"
