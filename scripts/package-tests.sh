#!/usr/bin/env bash
# scripts/package-tests.sh SOURCE BUILD OUTDIR VERSION: called by scripts/package.sh once the
# published programs are in OUTDIR. Builds the test kit in BUILD (the release build folder of
# the package) and leaves vorlane-helpers-<VERSION>-win64-tests.zip in OUTDIR, with the very
# Keyward.exe and Haltgate.exe of the package, every other program stripped, and its line
# added to OUTDIR/SHA256SUMS. Same bytes from the same commit, like the package itself.
set -euo pipefail
if [ $# -ne 4 ]; then
  echo "usage: scripts/package-tests.sh SOURCE BUILD OUTDIR VERSION" >&2
  exit 2
fi
source=$1 build=$2 out=$3 version=$4
name=vorlane-helpers-$version-win64-tests
echo "== building the test kit in $build"
cmake --build "$build" -j "$(nproc)" --target test_kit
kit=$build/kit/$name
[ -d "$kit" ] || { echo "package-tests.sh: the build left no $kit" >&2; exit 1; }

stage=$(mktemp -d "$build/kit-stage.XXXXXX")
trap 'rm -rf "$stage"' EXIT
cp -r "$kit" "$stage/$name"
# objcopy would write SOURCE_DATE_EPOCH into the PE header; 0 keeps the linker's empty stamp.
for exe in "$stage/$name"/bin/*.exe; do
  case ${exe##*/} in
    Keyward.exe|Haltgate.exe) cp "$out/${exe##*/}" "$exe" ;;
    *) SOURCE_DATE_EPOCH=0 x86_64-w64-mingw32-objcopy --strip-all "$exe" ;;
  esac
done
find "$stage/$name" -type d -exec chmod 0755 {} +
find "$stage/$name" -type f -exec chmod 0644 {} +
rm -f "$out"/vorlane-helpers-*-win64-tests.zip
# Members in a fixed order; cmake -E tar takes every file time from SOURCE_DATE_EPOCH.
(cd "$stage" && find "$name" -type f | LC_ALL=C sort >members &&
  xargs -d '\n' cmake -E tar cf "$out/$name.zip" --format=zip -- <members)
(cd "$out" && sha256sum "$name.zip" >>SHA256SUMS)
