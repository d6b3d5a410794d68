#!/usr/bin/env bash
# Signing while packing: a throw-away certificate signs the uninstaller and
# setup.exe, osslsigncode accepts both, and a signed setup.exe still runs;
# bad signing input stops the packer before anything is written.
# Usage: packer_sign_test.sh <quillpack> <stub.exe> <fixture product folder> [<winerun>]
set -u
source "$(dirname "${BASH_SOURCE[0]}")/testlib.sh"
PACK=$(abs "$1") STUB=$(abs "$2") FIXTURE=$(abs "$3") WINERUN=$(abs "${4:-}")
HERE=$(cd "$(dirname "$0")" && pwd)
make_work sign

cd "$WORK"
openssl req -x509 -newkey rsa:2048 -keyout key.pem -out cert.pem -days 2 -nodes -subj "/CN=Harlow Test Signing" 2>/dev/null
openssl pkcs12 -export -inkey key.pem -in cert.pem -out cert.pfx -passout pass:s3cret
printf 's3cret\n' >password
printf 'wrong\n' >wrong
mkdir out
sign=(--sign cert.pfx --sign-password-file password)

# expect <name> <exit code> <text stderr must contain> <packer args...>: the
# output keeps its old content and nothing else appears beside it.
expect() {
  local name=$1 code=$2 expected=$3; shift 3
  printf previous >out/setup.exe
  local err rc
  err=$("$PACK" --stub "$STUB" --product "$FIXTURE" --out out/setup.exe "$@" 2>&1 >/dev/null); rc=$?
  if [ $rc -ne "$code" ]; then fail "$name: exit code $rc, not $code" "$err"; return; fi
  if [[ "$err" != *"$expected"* ]]; then fail "$name: stderr lacks \"$expected\"" "$err"; return; fi
  if [ "$(cat out/setup.exe)" != previous ] || [ "$(ls out)" != setup.exe ]; then fail "$name: output touched"; return; fi
  pass "$name"
}

verify() { osslsigncode verify -CAfile cert.pem -in "$1" 2>&1; }

if out=$("$PACK" --stub "$STUB" --product "$FIXTURE" --out signed.exe "${sign[@]}" 2>&1); then
  v=$(verify signed.exe)
  if grep -q "Succeeded" <<<"$v" && grep -q "Harlow Test Signing" <<<"$v" && grep -qi "sha256" <<<"$v"; then
    pass "setup.exe carries a SHA-256 signature that verifies"
  else fail "setup.exe signature" "$v"; fi
  if python3 "$HERE/peresource.py" signed.exe _7Z UNINST.7Z uninst.7z && 7zz e -bso0 -bsp0 uninst.7z uninst.exe; then
    v=$(verify uninst.exe)
    if grep -q "Succeeded" <<<"$v"; then pass "the uninstaller inside is signed too"; else fail "uninstaller signature" "$v"; fi
  else fail "no uninstaller resource in the signed setup.exe"; fi
  # The signature covers the image: a changed byte is caught.
  cp signed.exe tampered.exe
  printf 'X' | dd of=tampered.exe bs=1 seek=4096 conv=notrunc 2>/dev/null
  if ! verify tampered.exe | grep -q "Succeeded"; then pass "a changed byte breaks the signature"
  else fail "a tampered setup.exe still verifies"; fi
  # A signed setup.exe is not a stub.
  err=$("$PACK" --stub signed.exe --product "$FIXTURE" --out out/again.exe 2>&1)
  if [ $? -eq 1 ] && [ ! -e out/again.exe ]; then pass "a signed setup.exe is refused as a stub"
  else fail "signed stub accepted" "$err"; fi
  if [ -n "$WINERUN" ]; then
    wout=$("$WINERUN" "$(winepath -w signed.exe 2>/dev/null || echo "Z:${WORK//\//\\}\\signed.exe")" /InstallSlience true 2>&1)
    rc=$?
    if [ $rc -eq 0 ]; then pass "the signed setup.exe runs (silent, exit 0)"; else fail "signed setup.exe exit $rc" "$wout"; fi
  fi
else
  fail "packing with --sign" "$out"
fi

expect "wrong password" 1 "cannot sign a trial copy of the stub with cert.pfx" "${sign[0]}" cert.pfx --sign-password-file wrong
expect "certificate missing" 2 "missing.pfx: certificate not found" --sign missing.pfx --sign-password-file password
expect "password file missing" 2 "nopass: password file not found" --sign cert.pfx --sign-password-file nopass
expect "no password file" 2 "--sign needs --sign-password-file" --sign cert.pfx
expect "password file without --sign" 2 "need --sign" --sign-password-file password
expect "not a certificate" 1 "cannot sign a trial copy of the stub with password" --sign password --sign-password-file password
expect "unreachable time-stamp server" 1 "cannot sign the uninstaller" "${sign[@]}" --timestamp-url http://127.0.0.1:9/
expect "time-stamp address that is not a URL" 2 "is not an http:// or https:// address" "${sign[@]}" --timestamp-url ftp://x

finish
