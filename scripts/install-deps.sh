#!/usr/bin/env bash
# Installs the Debian 12 packages the build, the tests and the demonstration need.
set -euo pipefail
packages=(
  cmake ninja-build g++ python3
  g++-mingw-w64-x86-64-posix          # the Windows programs
  wine wine64                         # running them
  nlohmann-json3-dev                  # JSON
  libgtest-dev googletest             # unit tests (native) and the gtest sources (cross)
  libbenchmark-dev                    # bench/
  clang-16 libclang-rt-16-dev         # libFuzzer
  libsimdjson-dev libexpat1-dev       # oracles of the fuzz targets (fuzz build only)
  libicu-dev unicode-data             # lower-casing oracle and source data
  nsis                                # the example installer that runs Haltgate (makensis)
  osslsigncode openssl                # Authenticode signing (package.sh) and its test authority
  libengine-pkcs11-openssl softhsm2   # signing with a key on a PKCS#11 token, and a test token
  python3-pefile unzip                # reading back the packaged programs and the zip
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi
if [ "$(id -u)" -ne 0 ]; then
  echo "missing packages (run as root to install): ${missing[*]}" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
