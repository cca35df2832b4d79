#!/usr/bin/env bash
# Haltgate's log when a program of the same user has planted a link at the log's own name, made
# from the Linux side (Windows programs under Wine cannot create links): a file link, a second
# hard link and a link naming nothing each end the run with exit code 12 and leave what they
# name untouched. Folders of the log reached through a link are the installer's choice and work
# as usual, and a plain log is appended to, its earlier lines kept.
# Usage: log_links.sh BIN_DIR   (WINEPREFIX set, its server running)
set -u
bin=$1
name=haltgate-log-links-$$
root=$WINEPREFIX/drive_c/$name
win='C:\'$name
trap 'rm -rf "$root"' EXIT
failures=0
fail() { echo "FAIL [$case]: $*"; failures=$((failures + 1)); }

mkdir -p "$root/install" "$root/logs"   # an installation without Vorlane.exe: only the files are checked
begin="begin install_dir=$win\\install"

haltgate() {  # LOG_PATH_BELOW_ROOT EXPECTED_CODE
  wine "$bin/Haltgate.exe" --install-dir "$win\\install" --log "$win\\$1" --timeout-ms 1000 \
    </dev/null >/dev/null 2>&1
  code=$?
  [ "$code" = "$2" ] || fail "exit code $code, expected $2"
}
texts() { sed 's/^[0-9]* //' "$1"; }

case=file_symlink
printf precious >"$root/$case.target"
ln -s "../$case.target" "$root/logs/$case.log"
haltgate "logs\\$case.log" 12
[ "$(cat "$root/$case.target")" = precious ] || fail "the link's target was changed: $(cat "$root/$case.target")"

case=second_hard_link
printf precious >"$root/$case.target"
ln "$root/$case.target" "$root/logs/$case.log"
haltgate "logs\\$case.log" 12
[ "$(cat "$root/$case.target")" = precious ] || fail "the other name's file was changed"

case=dangling_link
ln -s "../$case.target" "$root/logs/$case.log"
haltgate "logs\\$case.log" 12
[ -e "$root/$case.target" ] && fail "the link's target was created"

case=folder_through_a_link
mkdir -p "$root/real-logs"
ln -s real-logs "$root/logs-link"
haltgate "logs-link\\nested\\h.log" 0   # a missing folder below the link is created on the way
[ "$(texts "$root/real-logs/nested/h.log")" = "$begin" ] || fail "log: $(cat "$root/real-logs/nested/h.log" 2>&1)"

case=plain_log_appended
printf '1 earlier line\n' >"$root/logs/plain.log"
haltgate "logs\\plain.log" 0
haltgate "logs\\plain.log" 0
[ "$(texts "$root/logs/plain.log")" = "$(printf 'earlier line\n%s\n%s' "$begin" "$begin")" ] ||
  fail "log: $(cat "$root/logs/plain.log")"
! grep -q $'\r' "$root/logs/plain.log" || fail "carriage return in the log"

[ "$failures" = 0 ] || exit 1
echo "haltgate log links: ok"
