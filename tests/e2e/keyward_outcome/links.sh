#!/usr/bin/env bash
# Keyward's run outcome file when a program of the same user has planted links under the local
# application-data folder: a file link, a second hard link, a link naming nothing and a linked
# Vorlane folder each leave what they name untouched and get one line on standard error; a
# local application-data folder that is itself reached through a link is written as usual, and
# so is the ordinary file, an older and longer one replaced whole.
# The usage-error run (no mode word) writes the outcome without needing an install.
# Usage: links.sh BIN_DIR   (WINEPREFIX set, its server running)
set -u
bin=$1
name=keyward-outcome-$$
root=$WINEPREFIX/drive_c/$name
win='C:\'$name
trap 'rm -rf "$root"' EXIT
failures=0
fail() { echo "FAIL [$case]: $*"; failures=$((failures + 1)); }

mkdir -p "$root"
cp "$bin/Keyward.exe" "$root/Keyward.exe"
usage='用法: Keyward.exe --serve | --install --user-sid <SID> --gui-dir <DIR> | --uninstall'
refused='Keyward: 运行结果文件不是其位置上的普通文件（可能是链接），未写入：'

# keyward CASE LOCALAPPDATA_NAME: the usage-error run with LOCALAPPDATA set from the Windows side
# (Wine keeps it at its default when it is set from Linux); stderr lands in $root/CASE.err.
keyward() {
  wine cmd /c "set LOCALAPPDATA=$win\\$2&& $win\\Keyward.exe" </dev/null >/dev/null 2>"$root/$1.err"
  code=$?
  [ "$code" = 1 ] || fail "exit code $code, expected 1"
}
outcome_of() { sed 's/"at": [0-9]*$/"at": AT/' "$1"; }
expected_outcome() {
  printf '{\n  "schema": 1,\n  "ok": false,\n  "action": "helper",\n  "message": "%s",\n  "at": AT\n}' "$usage"
}
written_as_usual() {  # FILE
  [ -f "$1" ] && [ ! -L "$1" ] || { fail "no plain outcome file at $1"; return; }
  [ "$(outcome_of "$1")" = "$(expected_outcome)" ] || fail "content: $(cat "$1")"
  [ "$(tail -c1 "$1" | od -An -c | tr -d ' ')" = "}" ] || fail "the file does not end in the closing brace"
  [ -s "$root/$case.err" ] && fail "standard error: $(cat "$root/$case.err")"
}
refused_once() {  # LOCALAPPDATA_NAME
  local want="$refused$win\\$1\\Vorlane\\input-helper-setup.json"
  [ "$(cat "$root/$case.err")" = "$want" ] || fail "standard error: '$(cat "$root/$case.err")', expected '$want'"
  [ "$(wc -l <"$root/$case.err")" = 1 ] || fail "not exactly one line on standard error"
}

case=ordinary
mkdir -p "$root/$case"
keyward $case $case
written_as_usual "$root/$case/Vorlane/input-helper-setup.json"

case=longer_file_replaced_whole
mkdir -p "$root/$case/Vorlane"
head -c 5000 /dev/zero | tr '\0' x >"$root/$case/Vorlane/input-helper-setup.json"
keyward $case $case
written_as_usual "$root/$case/Vorlane/input-helper-setup.json"

case=local_app_data_through_a_link   # a moved profile: the system's choice, trusted
mkdir -p "$root/moved-profile"
ln -s moved-profile "$root/$case"
keyward $case $case
written_as_usual "$root/moved-profile/Vorlane/input-helper-setup.json"

case=file_symlink
mkdir -p "$root/$case/Vorlane"
printf precious >"$root/$case.target"
ln -s "../../$case.target" "$root/$case/Vorlane/input-helper-setup.json"
keyward $case $case
[ "$(cat "$root/$case.target")" = precious ] || fail "the link's target was changed"
[ -L "$root/$case/Vorlane/input-helper-setup.json" ] || fail "the link was replaced"
refused_once $case

case=second_hard_link
mkdir -p "$root/$case/Vorlane"
printf precious >"$root/$case.target"
ln "$root/$case.target" "$root/$case/Vorlane/input-helper-setup.json"
keyward $case $case
[ "$(cat "$root/$case.target")" = precious ] || fail "the other name's file was changed"
refused_once $case

case=dangling_link
mkdir -p "$root/$case/Vorlane"
ln -s "../../$case.target" "$root/$case/Vorlane/input-helper-setup.json"
keyward $case $case
[ -e "$root/$case.target" ] && fail "the link's target was created"
refused_once $case

case=linked_folder_to_an_empty_folder   # the file this run creates there is removed again
mkdir -p "$root/$case" "$root/$case.target"
ln -s "../$case.target" "$root/$case/Vorlane"
keyward $case $case
[ -z "$(ls -A "$root/$case.target")" ] || fail "left in the linked folder: $(ls -A "$root/$case.target")"
refused_once $case

case=linked_folder_holding_the_file
mkdir -p "$root/$case" "$root/$case.target"
printf precious >"$root/$case.target/input-helper-setup.json"
ln -s "../$case.target" "$root/$case/Vorlane"
keyward $case $case
[ "$(cat "$root/$case.target/input-helper-setup.json")" = precious ] || fail "the file in the linked folder was changed"
refused_once $case

[ "$failures" = 0 ] || exit 1
echo "keyward outcome links: ok"
