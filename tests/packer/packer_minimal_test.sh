#!/usr/bin/env bash
# The minimal product folder that `quillpack --help` shows (tests/packer/minimal,
# with a skin and an icon added): the help shows it line for line, and it
# packs, installs silently under Wine and uninstalls again.
# Usage: packer_minimal_test.sh <quillpack> <stub.exe> <uninstaller stub.exe> <winerun>
set -u
source "$(dirname "${BASH_SOURCE[0]}")/testlib.sh"
PACK=$(abs "$1") STUB=$(abs "$2") USTUB=$(abs "$3") WINERUN=$(abs "$4")
HERE=$(cd "$(dirname "$0")" && pwd)
make_work minimal

help=$("$PACK" --help)
missing=""
for f in product.ini config.lua install.lua uninstall.lua; do
  while IFS= read -r line; do
    [ -n "$line" ] && ! grep -qF -- "$line" <<<"$help" && missing+="$f: $line"$'\n'
  done <"$HERE/minimal/$f"
done
if [ -z "$missing" ]; then pass "--help shows the minimal product folder as it is"
else fail "--help lacks lines of tests/packer/minimal" "$missing"; fi

cp -r "$HERE/minimal" "$WORK/p"
cp -r "$HERE/check/clean/skin" "$WORK/p/skin"
cp "$HERE/fixture/icon.ico" "$WORK/p/icon.ico"
if out=$("$PACK" --stub "$STUB" --uninstaller-stub "$USTUB" --product "$WORK/p" --out "$WORK/setup.exe" 2>&1); then
  pass "the minimal product packs"
else
  fail "the minimal product packs" "$out"
fi

inst="$WORK/inst/Quillon"
mkdir -p "$WORK/inst"
"$WINERUN" "$(win "$WORK/setup.exe")" /InstallSlience true /InstallPath "$(win "$inst")" >/dev/null 2>&1
if cmp -s "$inst/readme.txt" "$HERE/minimal/payload/readme.txt" && [ "$(head -c 2 "$inst/uninst.exe" 2>/dev/null)" = MZ ]; then
  pass "it installs the payload and the uninstaller"
  # The uninstaller stub plus the chunks, not the installer's stub.
  size=$(stat -c %s "$inst/uninst.exe")
  if [ "$size" -gt "$(stat -c %s "$USTUB")" ] && [ "$size" -lt "$(stat -c %s "$STUB")" ]; then
    pass "uninst.exe is built from the uninstaller stub"
  else
    fail "uninst.exe is $size bytes" "stubs: $(stat -c %s "$USTUB") and $(stat -c %s "$STUB")"
  fi
else
  fail "silent install" "$(ls -la "$inst" 2>&1)"
fi

"$WINERUN" "$(win "$inst/uninst.exe")" /InstallSlience true >/dev/null 2>&1
rc=$?
for _ in $(seq 1 100); do [ -e "$inst" ] || break; sleep 0.2; done
if [ $rc -eq 0 ] && [ ! -e "$inst" ]; then pass "its uninstaller removes the folder (exit 0)"
else fail "uninstall: exit $rc" "$(ls -la "$inst" 2>&1)"; fi

finish
