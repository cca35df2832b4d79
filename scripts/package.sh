#!/usr/bin/env bash
# scripts/package.sh OUTDIR: builds the release programs of the last commit in a fresh build
# folder and leaves in OUTDIR what is published:
#   Keyward.exe, Haltgate.exe                  stripped, signed when signing settings are given,
#                                              each with a .gnu_debuglink to
#   Keyward.exe.debug, Haltgate.exe.debug      its debug data, for reading crash dumps
#   vorlane-helpers-<version>-win64.zip        the two programs, the README and the third-party
#                                              notices
#   SHA256SUMS                                 for `sha256sum -c`, over every other file
# Two runs from the same commit give the same bytes, wherever and whenever they run, as long
# as the same Linux user runs them (the zip records the owner's uid and gid) and no time stamp
# is asked for (a time-stamping authority answers with the time of the request).
#
# Authenticode signing (osslsigncode, SHA-256), after stripping and before the sums and the zip;
# without SIGN_CERT or SIGN_PKCS12 the programs stay unsigned:
#   SIGN_CERT, SIGN_KEY      the code-signing certificate (with its chain) and its key, PEM files;
#                            or SIGN_KEY a pkcs11: URI of a key on a hardware token, with
#   SIGN_PKCS11_MODULE       the token's PKCS#11 library (through OpenSSL's pkcs11 engine)
#   SIGN_PKCS12              or certificate and key in one PKCS#12 file
#   SIGN_PASSWORD_FILE       the password of the key or the PKCS#12 file, or the token's PIN
#   SIGN_URL                 the address shown with the signature's description (required)
#   SIGN_TIMESTAMP_URL       an RFC 3161 time-stamping authority (optional)
# The signing time is SOURCE_DATE_EPOCH, so a signature made without a time stamp is
# reproducible too.
#
# scripts/package.sh --from-build BUILD OUTDIR packages the programs already built in BUILD (a
# Release cross build of the working tree) instead of building the last commit: the tests check
# the packaging steps with it; a release never uses it.
set -euo pipefail
usage() {
  echo "usage: scripts/package.sh [--from-build BUILD] OUTDIR" >&2
  exit 2
}
from_build=
if [ "${1:-}" = --from-build ]; then
  [ $# -eq 3 ] || usage
  from_build=$(cd "$2" && pwd)
  shift 2
fi
[ $# -eq 1 ] || usage
# The signing files may be named relative to the caller's folder; the script works from the root.
for setting in SIGN_CERT SIGN_KEY SIGN_PKCS12 SIGN_PASSWORD_FILE SIGN_PKCS11_MODULE; do
  if [ -n "${!setting:-}" ] && [ -e "${!setting}" ]; then
    printf -v "$setting" '%s' "$(realpath "${!setting}")"
  fi
done
root=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "$1"
out=$(cd "$1" && pwd)
cd "$root"
[ -n "$from_build" ] || scripts/install-deps.sh
export LC_ALL=C.UTF-8 TZ=UTC
# Every file time in the zip is the time of the last commit, unless the caller fixed one.
SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct HEAD)}
export SOURCE_DATE_EPOCH

# Signing settings are checked before anything is built.
product_name=Vorlane   # the ProductName of the version resource
signing=()
if [ -n "${SIGN_CERT:-}${SIGN_KEY:-}${SIGN_PKCS12:-}" ]; then
  fail() { echo "package.sh: $*" >&2; exit 1; }
  if [ -n "${SIGN_PKCS12:-}" ]; then
    [ -z "${SIGN_CERT:-}${SIGN_KEY:-}" ] || fail "give SIGN_CERT and SIGN_KEY, or SIGN_PKCS12, not both"
    [ -r "$SIGN_PKCS12" ] || fail "SIGN_PKCS12: cannot read $SIGN_PKCS12"
    signing=(-pkcs12 "$SIGN_PKCS12")
  else
    [ -n "${SIGN_CERT:-}" ] && [ -n "${SIGN_KEY:-}" ] || fail "SIGN_CERT and SIGN_KEY go together"
    [ -r "$SIGN_CERT" ] || fail "SIGN_CERT: cannot read $SIGN_CERT"
    case $SIGN_KEY in
      pkcs11:*)
        [ -r "${SIGN_PKCS11_MODULE:-}" ] || fail "a pkcs11: key needs SIGN_PKCS11_MODULE, the token's library"
        engine=$(openssl version -e | sed -n 's/^ENGINESDIR: "\(.*\)"$/\1/p')/pkcs11.so
        [ -r "$engine" ] || fail "a pkcs11: key needs OpenSSL's pkcs11 engine (libengine-pkcs11-openssl)"
        signing=(-pkcs11engine "$engine" -pkcs11module "$SIGN_PKCS11_MODULE")
        ;;
      *)
        [ -r "$SIGN_KEY" ] || fail "SIGN_KEY: cannot read $SIGN_KEY"
        signing=()
        ;;
    esac
    signing+=(-certs "$SIGN_CERT" -key "$SIGN_KEY")
  fi
  if [ -n "${SIGN_PASSWORD_FILE:-}" ]; then
    [ -r "$SIGN_PASSWORD_FILE" ] || fail "SIGN_PASSWORD_FILE: cannot read $SIGN_PASSWORD_FILE"
    signing+=(-readpass "$SIGN_PASSWORD_FILE")
  fi
  [ -n "${SIGN_URL:-}" ] || fail "signing needs SIGN_URL, the address shown with the description"
  command -v osslsigncode >/dev/null || fail "signing needs osslsigncode (scripts/install-deps.sh)"
  signing+=(-h sha256 -n "$product_name" -i "$SIGN_URL" -time "$SOURCE_DATE_EPOCH")
  if [ -n "${SIGN_TIMESTAMP_URL:-}" ]; then
    signing+=(-ts "$SIGN_TIMESTAMP_URL")
  fi
fi

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
if [ -n "$from_build" ]; then
  source=$root
  build=$from_build
  echo "== packaging the programs built in $build"
else
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
fi
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

# Signing changes only the header checksum and the certificate table's directory entry and
# appends the table; the debug link stays valid, since its CRC is the debug file's.
if [ ${#signing[@]} -eq 0 ]; then
  echo "== unsigned: no SIGN_CERT and SIGN_KEY or SIGN_PKCS12 given"
else
  for program in Keyward Haltgate; do
    osslsigncode sign "${signing[@]}" -in "$out/$program.exe" -out "$work/$program.exe" >/dev/null
    cat "$work/$program.exe" >"$out/$program.exe"   # keeps the stripped file's mode
  done
  echo "== signed Keyward.exe and Haltgate.exe${SIGN_TIMESTAMP_URL:+, time-stamped by $SIGN_TIMESTAMP_URL}"
fi

stage=$work/zip
mkdir "$stage"
members=(Keyward.exe Haltgate.exe README.md THIRD-PARTY-NOTICES.txt)
cp "$out/Keyward.exe" "$out/Haltgate.exe" "$source/README.md" "$source/THIRD-PARTY-NOTICES.txt" \
  "$stage/"
chmod 0644 "$stage"/*
# Members are named in a fixed order; cmake -E tar takes every file time from SOURCE_DATE_EPOCH.
(cd "$stage" && cmake -E tar cf "$out/$zip" --format=zip -- "${members[@]}")

(cd "$out" && sha256sum Keyward.exe Keyward.exe.debug Haltgate.exe Haltgate.exe.debug "$zip" \
  >SHA256SUMS)
"$source/scripts/package-tests.sh" "$source" "$build" "$out" "$version"
echo "== $out"
(cd "$out" && ls -l && sha256sum -c SHA256SUMS)
