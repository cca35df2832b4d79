#!/usr/bin/env bash
# The release as a security team receives it: scripts/package.sh run on this build's programs,
# signed with a throwaway certificate authority made here with openssl.
# Usage: release.sh STEP SOURCE_DIR BUILD_DIR
#   package     the authority, and five packages: signed twice with the same time, signed from a
#               password-protected PKCS#12 file, signed with the key on a PKCS#11 token
#               (SoftHSM), unsigned
#   signatures  the signatures verify; one changed byte in .text breaks one; both signed runs,
#               and the ones from the PKCS#12 file and the token, give the same bytes; the unsigned run says so and carries no signature; the zip
#               holds the programs, the README and the notices
#   timestamp   a package time-stamped by a local RFC 3161 authority verifies with its time stamp
#   run         the signed programs still run under Wine (WINEPREFIX set, its server running)
set -u
step=$1
source=$2
build=$3
state=$build/release-test
fail() { echo "FAIL: $*"; exit 1; }

# A root, and a leaf that may sign code (or time stamps), signed by it.
make_authority() { # DIR NAME USAGE
  local dir=$1 name=$2 usage=$3
  mkdir -p "$dir"
  openssl req -x509 -newkey rsa:2048 -nodes -keyout "$dir/root.key" -out "$dir/root.crt" \
    -days 3650 -subj "/CN=$name Test Root" -addext basicConstraints=critical,CA:TRUE \
    -addext keyUsage=critical,keyCertSign,cRLSign 2>/dev/null || fail "openssl: $name root"
  openssl req -newkey rsa:2048 -nodes -keyout "$dir/leaf.key" -out "$dir/leaf.csr" \
    -subj "/CN=$name Test Leaf" 2>/dev/null || fail "openssl: $name leaf request"
  printf 'basicConstraints=critical,CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=%s\n' \
    "$usage" >"$dir/leaf.ext"
  openssl x509 -req -in "$dir/leaf.csr" -CA "$dir/root.crt" -CAkey "$dir/root.key" -set_serial 2 \
    -days 3650 -extfile "$dir/leaf.ext" -out "$dir/leaf.crt" 2>/dev/null || fail "openssl: $name leaf"
}

package() { # OUTDIR [VAR=VALUE...]: package.sh on this build, its output kept in OUTDIR.log
  local out=$1
  shift
  rm -rf "$out"
  env "$@" "$source/scripts/package.sh" --from-build "$build" "$out" >"$out.log" 2>&1 \
    || { cat "$out.log"; fail "package.sh into $out"; }
}

signed_settings() {
  echo SIGN_CERT="$state/ca/leaf.crt" SIGN_KEY="$state/ca/leaf.key" \
    SIGN_URL=https://vorlane.invalid/helpers SOURCE_DATE_EPOCH=1700000000
}

verify() { # FILE [osslsigncode verify options...]: its output in FILE.verify; the exit code
  local file=$1
  shift
  osslsigncode verify -in "$file" "$@" >"$file.verify" 2>&1
}

case $step in
package)
  rm -rf "$state"
  mkdir -p "$state"
  make_authority "$state/ca" Signing codeSigning
  # shellcheck disable=SC2046
  package "$state/signed" $(signed_settings)
  # shellcheck disable=SC2046
  package "$state/again" $(signed_settings)
  printf 'a password\n' >"$state/ca/password"
  openssl pkcs12 -export -in "$state/ca/leaf.crt" -inkey "$state/ca/leaf.key" \
    -passout "file:$state/ca/password" -out "$state/ca/leaf.p12" || fail "openssl: PKCS#12 file"
  package "$state/pkcs12" SIGN_PKCS12="$state/ca/leaf.p12" SIGN_PASSWORD_FILE="$state/ca/password" \
    SIGN_URL=https://vorlane.invalid/helpers SOURCE_DATE_EPOCH=1700000000
  # The same key on a software token, reached through PKCS#11; the PIN comes from the file.
  mkdir -p "$state/hsm/tokens"
  printf 'directories.tokendir = %s\nobjectstore.backend = file\n' "$state/hsm/tokens" \
    >"$state/hsm/softhsm2.conf"
  export SOFTHSM2_CONF=$state/hsm/softhsm2.conf
  printf '1234\n' >"$state/hsm/pin"
  openssl pkcs8 -topk8 -nocrypt -in "$state/ca/leaf.key" -out "$state/hsm/leaf.p8" \
    && softhsm2-util --init-token --free --label signing --pin 1234 --so-pin 5678 >/dev/null \
    && softhsm2-util --import "$state/hsm/leaf.p8" --token signing --label codesign --id 01 \
      --pin 1234 >/dev/null || fail "softhsm2: could not put the key on a token"
  package "$state/pkcs11" SIGN_CERT="$state/ca/leaf.crt" SIGN_PASSWORD_FILE="$state/hsm/pin" \
    SIGN_KEY='pkcs11:token=signing;object=codesign;type=private' \
    SIGN_PKCS11_MODULE=/usr/lib/softhsm/libsofthsm2.so \
    SIGN_URL=https://vorlane.invalid/helpers SOURCE_DATE_EPOCH=1700000000
  package "$state/unsigned" SOURCE_DATE_EPOCH=1700000000
  echo "packages: ok"
  ;;

signatures)
  make_authority "$state/stranger" Stranger codeSigning
  for program in Keyward Haltgate; do
    verify "$state/signed/$program.exe" -CAfile "$state/ca/root.crt" \
      || { cat "$state/signed/$program.exe.verify"; fail "$program.exe does not verify"; }
    grep -q '^Signature verification: ok' "$state/signed/$program.exe.verify" \
      || fail "$program.exe: no 'Signature verification: ok'"
    grep -q 'Message digest algorithm *: SHA256' "$state/signed/$program.exe.verify" \
      || fail "$program.exe: not signed with SHA-256"
    grep -q 'Text description: Vorlane' "$state/signed/$program.exe.verify" \
      || fail "$program.exe: no product name in the description"
    # Another authority's root does not vouch for it.
    verify "$state/signed/$program.exe" -CAfile "$state/stranger/root.crt" \
      && fail "$program.exe verifies against a root that did not sign it"
    # One byte changed in the code.
    tampered=$state/$program-tampered.exe
    /usr/bin/python3 - "$state/signed/$program.exe" "$tampered" <<'EOF' || fail "could not change a byte"
import sys, pefile
data = bytearray(open(sys.argv[1], "rb").read())
text = next(s for s in pefile.PE(data=bytes(data)).sections if s.Name.rstrip(b"\0") == b".text")
data[text.PointerToRawData + 0x100] ^= 0x01
open(sys.argv[2], "wb").write(data)
EOF
    verify "$tampered" -CAfile "$state/ca/root.crt" && fail "$program.exe verifies with a changed byte"
  done
  # Two signed runs with the same commit time are the same bytes, the zip and sums included.
  for f in Keyward.exe Haltgate.exe Keyward.exe.debug Haltgate.exe.debug SHA256SUMS; do
    cmp "$state/signed/$f" "$state/again/$f" || fail "$f differs between two signed runs"
  done
  cmp "$state"/signed/vorlane-helpers-*-win64.zip "$state"/again/vorlane-helpers-*-win64.zip \
    || fail "the zip differs between two signed runs"
  # The same certificate and key from a PKCS#12 file or a token make the same signature.
  for f in Keyward.exe Haltgate.exe; do
    cmp "$state/signed/$f" "$state/pkcs12/$f" || fail "$f signed from the PKCS#12 file differs"
    cmp "$state/signed/$f" "$state/pkcs11/$f" || fail "$f signed with the token's key differs"
  done
  (cd "$state/signed" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not match"
  # Unsigned: one line says so, and nothing is signed.
  [ "$(grep -c '^== unsigned' "$state/unsigned.log")" = 1 ] \
    || fail "the unsigned run does not say so in one line"
  grep -q '^== unsigned' "$state/signed.log" && fail "the signed run says it is unsigned"
  verify "$state/unsigned/Keyward.exe" && fail "the unsigned Keyward.exe verifies"
  # What the zip carries: the signed programs as shipped, the README and the notices.
  unzip -Z1 "$state"/signed/vorlane-helpers-*-win64.zip >"$state/members"
  printf 'Keyward.exe\nHaltgate.exe\nREADME.md\nTHIRD-PARTY-NOTICES.txt\n' | cmp - "$state/members" \
    || fail "zip members: $(tr '\n' ' ' <"$state/members")"
  for f in Keyward.exe Haltgate.exe; do
    unzip -p "$state"/signed/vorlane-helpers-*-win64.zip "$f" | cmp - "$state/signed/$f" \
      || fail "the zip's $f is not the signed one"
  done
  unzip -p "$state"/signed/vorlane-helpers-*-win64.zip THIRD-PARTY-NOTICES.txt \
    | cmp - "$source/THIRD-PARTY-NOTICES.txt" || fail "the zip's notices are not the tree's"
  echo "signatures: ok"
  ;;

timestamp)
  dir=$state/timestamp
  rm -rf "$dir"
  make_authority "$dir/tsa" TimeStamping critical,timeStamping
  echo 01 >"$dir/serial"
  cat >"$dir/tsa.cnf" <<EOF
[tsa]
default_tsa = local
[local]
serial = $dir/serial
signer_cert = $dir/tsa/leaf.crt
signer_key = $dir/tsa/leaf.key
certs = $dir/tsa/leaf.crt
signer_digest = sha256
default_policy = 1.3.6.1.4.1.99999.1
digests = sha256, sha384, sha512
accuracy = secs:1
ordering = no
tsa_name = no
ess_cert_id_chain = no
ess_cert_id_alg = sha256
EOF
  /usr/bin/python3 "$(dirname "$0")/tsa.py" "$dir/tsa.cnf" "$dir/port" &
  tsa=$!
  trap 'kill $tsa 2>/dev/null' EXIT
  for _ in $(seq 100); do
    [ -f "$dir/port" ] && break
    sleep 0.1
  done
  [ -f "$dir/port" ] || fail "the time-stamping authority did not start"
  # shellcheck disable=SC2046
  package "$dir/out" $(signed_settings) SIGN_TIMESTAMP_URL="http://127.0.0.1:$(cat "$dir/port")/"
  for program in Keyward Haltgate; do
    file=$dir/out/$program.exe
    verify "$file" -CAfile "$state/ca/root.crt" -TSA-CAfile "$dir/tsa/root.crt" \
      || { cat "$file.verify"; fail "$program.exe does not verify"; }
    # The exit code alone does not show a bad time stamp; the line does.
    grep -q '^Timestamp Server Signature verification: ok' "$file.verify" \
      || { cat "$file.verify"; fail "$program.exe: the time stamp does not verify"; }
    verify "$file" -CAfile "$state/ca/root.crt" -TSA-CAfile "$state/ca/root.crt"
    grep -q '^Timestamp Server Signature verification: ok' "$file.verify" \
      && fail "$program.exe: a time stamp verifies against a root that did not sign it"
  done
  echo "timestamp: ok"
  ;;

run)
  name=release-run-$$
  root=$WINEPREFIX/drive_c/$name
  win='C:\'$name
  trap 'kill $helper 2>/dev/null; rm -rf "$root"' EXIT
  mkdir -p "$root/empty"
  cp "$state/signed/Keyward.exe" "$state/signed/Haltgate.exe" "$build/bin/vorlane_client.exe" "$root/"
  pipe=vorlane-release-$$
  wine "$win\\Keyward.exe" --test-mode --pipe "$pipe" </dev/null >/dev/null 2>"$root/keyward.err" &
  helper=$!
  reply=$(wine "$win\\vorlane_client.exe" --pipe "$pipe" --connect-timeout-ms 20000 \
    '{"type":"hello","protocol":1}' </dev/null 2>/dev/null | tr -d '\r')
  echo "$reply"
  grep -q '^<< {.*"ok":true.*"protocol":1' <<<"$reply" || fail "no handshake with the signed Keyward.exe"
  wine "$win\\Haltgate.exe" --install-dir "$win\\empty" --log "$win\\haltgate.log" --timeout-ms 2000 \
    </dev/null >/dev/null 2>&1
  code=$?
  cat "$root/haltgate.log" 2>/dev/null
  [ "$code" = 0 ] || fail "the signed Haltgate.exe ended with $code on an empty folder"
  echo "run: ok"
  ;;

*)
  echo "usage: release.sh package|signatures|timestamp|run SOURCE_DIR BUILD_DIR" >&2
  exit 2
  ;;
esac
