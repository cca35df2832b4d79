#!/usr/bin/env bash
# The test kit under Wine, as a person with a Windows machine would use it: the zip unpacked
# into a fresh prefix, run-tests.cmd started through Wine's own cmd.exe from another folder,
# once as on a machine to keep and once with --throwaway-machine. check_kit_run.py then reads
# the console text and the report against the same programs run the way ctest runs them.
#   kit_wine.sh KIT_ZIP BUILD_BIN WORK
set -u
zip=$1 bin=$2 work=$3
here=$(cd "$(dirname "$0")" && pwd)
ctest_prefix=${WINEPREFIX:?the ctest prefix is needed for the comparison runs}
prefix=$work/prefix
rm -rf "$work"
mkdir -p "$work/cwd"
"$here/../wine/prefix.sh" setup "$prefix" || { echo "the kit's prefix could not be made"; exit 1; }
trap '"$here/../wine/prefix.sh" cleanup "$prefix"' EXIT
(cd "$prefix/drive_c" && cmake -E tar xf "$zip") || { echo "the kit did not unpack"; exit 1; }
name=$(basename "$zip" .zip)
kit=$prefix/drive_c/$name
[ -f "$kit/run-tests.cmd" ] || { echo "no run-tests.cmd at the top of the kit"; exit 1; }

status=0
for mode in keep throwaway; do
  args=() report=$kit/test-report.txt
  if [ "$mode" = throwaway ]; then
    args=(--throwaway-machine --report 'C:\throwaway-report.txt')
    report=$prefix/drive_c/throwaway-report.txt
  fi
  echo "== run-tests.cmd ${args[*]}"
  (cd "$work/cwd" && WINEPREFIX=$prefix wine cmd /c "C:\\$name\\run-tests.cmd" "${args[@]}" \
     </dev/null >"$work/console-$mode.txt" 2>&1)
  echo "exit code $?"
  cat "$work/console-$mode.txt"
  WINEPREFIX=$ctest_prefix python3 "$here/check_kit_run.py" --mode "$mode" \
    --console "$work/console-$mode.txt" --report "$report" --manifest "$kit/bin/kit-tests.txt" \
    --bin "$bin" || status=1
done
exit $status
