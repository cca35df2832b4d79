#!/usr/bin/env bash
# scripts/package.sh OUTDIR: builds the release programs of the last commit in a fresh build
# folder and leaves in OUTDIR what is published:
#   Keyward.exe, Haltgate.exe                  stripped, each with a .gnu_debuglink to
#   Keyward.exe.debug, Haltgate.exe.debug      its debug data, for reading crash dumps
#   vorlane-helpers-<version>-win64.zip        the two programs and the README
#   SHA256SUMS                                 for `sha256sum -c`, over every other file
# Two runs from the same commit give the same bytes, wherever and whenever they run, as long
# as the same Linux user runs them (the zip records the owner's uid and gid).
set -euo pipefail
if [ $# -ne 1 ]; then
  echo "usage: scripts/package.sh OUTDIR" >&2
  exit 2
fi
root=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "$1"
out=$(cd "$1" && pwd)
cd "$root"
scripts/install-deps.sh
export LC_ALL=C.UTF-8 TZ=UTC
# Every file time in the zip is the time of the last commit, unless the caller fixed one.
SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct HEAD)}
export SOURCE_DATE_EPOCH

# OUTDIR holds nothing but the package, so SHA256SUMS covers all of it.
products=(Keyward.exe Keyward.exe.debug Haltgate.exe Haltgate.exe.debug SHA256SUMS)
for f in "$out"/* "$out"/.[!.]*; do
  [ -e "$f" ] || continue
  name=${f##*/}
  case " ${products[*]} " in *" $name "*) continue ;; esac
  case "$name" in vorlane-helpers-*-win64.zip|vorlane-helpers-*-win64-tests.zip) continue ;; esac
  echo "package.sh: $out holds $name; give an empty folder or one with an earlier package" >&2
  exit 1
done

mkdir -p build
work=$(mktemp -d "$root/build/package.XXXXXX")
trap 'rm -rf "$work"' EXIT
# The package is made of the commit alone: edits not yet committed never reach it.
commit=$(git rev-parse HEAD)
source=$work/source
build=$work/build
mkdir "$source"
git archive --format=tar "$commit" | tar -x -C "$source"
echo "== building the release programs of $commit in $build"
# Release as tested, plus debug data, which is split off below.
cmake -S "$source" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$source/cmake/mingw-w64.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_C_FLAGS=-g -DCMAKE_CXX_FLAGS=-g >/dev/null
cmake --build "$build" -j "$(nproc)" --target Keyward Haltgate
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
zip=vorlane-helpers-$version-win64.zip

rm -f "$out"/vorlane-helpers-*-win64.zip "${products[@]/#/$out/}"
# objcopy would write SOURCE_DATE_EPOCH into the PE header; 0 keeps the linker's empty stamp.
objcopy() { SOURCE_DATE_EPOCH=0 x86_64-w64-mingw32-objcopy "$@"; }
for program in Keyward Haltgate; do
  built=$build/bin/$program.exe
  objcopy --only-keep-debug "$built" "$out/$program.exe.debug"
  # The link names the debug file and holds its CRC, so a debugger finds it beside the program.
  (cd "$out" && objcopy --strip-all --add-gnu-debuglink="$program.exe.debug" "$built" "$program.exe")
done

stage=$work/zip
mkdir "$stage"
cp "$out/Keyward.exe" "$out/Haltgate.exe" "$source/README.md" "$stage/"
chmod 0644 "$stage"/*
# Members are named in a fixed order; cmake -E tar takes every file time from SOURCE_DATE_EPOCH.
(cd "$stage" && cmake -E tar cf "$out/$zip" --format=zip -- Keyward.exe Haltgate.exe README.md)

(cd "$out" && sha256sum Keyward.exe Keyward.exe.debug Haltgate.exe Haltgate.exe.debug "$zip" \
  >SHA256SUMS)
"$source/scripts/package-tests.sh" "$source" "$build" "$out" "$version"
echo "== $out"
(cd "$out" && ls -l && sha256sum -c SHA256SUMS)
