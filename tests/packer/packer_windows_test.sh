#!/usr/bin/env bash
# quillpack.exe (the packer built for Windows, run under Wine) and the native
# packer: the same product gives a byte-identical setup.exe, and the same
# mistakes the same messages and exit codes.
# Usage: packer_windows_test.sh <native quillpack> <quillpack.exe> <winerun> <stub.exe> <fixture product folder>
#        [<holdfile.exe>]
set -u
NATIVE=$1 WINDOWS=$2 WINERUN=$3 STUB=$4 FIXTURE=$5 HOLD=${6:-}
source "$(dirname "${BASH_SOURCE[0]}")/testlib.sh"
make_work windows

# wine <args>: quillpack.exe with Linux paths made Windows ones.
on_windows() {
  local args=() a
  for a in "$@"; do [[ "$a" == /* ]] && args+=("$(win "$a")") || args+=("$a"); done
  "$WINERUN" "$WINDOWS" "${args[@]}"
}

# The fixture with a payload that has something of everything: folders and
# an empty one, empty and read-only files, write permission for the group
# only, Chinese names, and programs (their own BCJ block).
cp -r "$FIXTURE" "$WORK/p"
sed -i 's/^payload_7z_switches = .*/payload_7z_switches = -mx=3 -mf=on -mqs -ms=2m/' "$WORK/p/product.ini"
mkdir -p "$WORK/p/payload/empty/inner" "$WORK/p/payload/中文目录"
printf '名字\n' >"$WORK/p/payload/中文目录/名字.txt"
: >"$WORK/p/payload/empty.txt"
printf 'read only\n' >"$WORK/p/payload/ro.txt"
printf 'group may write\n' >"$WORK/p/payload/group.txt"
chmod 444 "$WORK/p/payload/ro.txt"
chmod 464 "$WORK/p/payload/group.txt"
cp "$STUB" "$WORK/p/payload/program.exe"
seq 1 400000 >"$WORK/p/payload/numbers.txt"
touch -d '2001-02-03 04:05:06.7891234 UTC' "$WORK/p/payload/numbers.txt"
mkdir -p "$WORK/out"

"$NATIVE" --stub "$STUB" --product "$WORK/p" --out "$WORK/out/native.exe" >"$WORK/native.txt" 2>&1
on_windows --stub "$STUB" --product "$WORK/p" --out "$WORK/out/windows.exe" >"$WORK/windows.txt" 2>&1
if [ -f "$WORK/out/native.exe" ] && cmp -s "$WORK/out/native.exe" "$WORK/out/windows.exe"; then
  pass "the same product: byte-identical setup.exe"
else
  fail "the same product: byte-identical setup.exe" "$(cat "$WORK/native.txt" "$WORK/windows.txt")"
fi
# The same summary, but for the output's name and the times taken.
summary() { sed -e 's/\r$//' -e 's/ in [0-9.]* s$//' -e 's/wrote [^ ]* /wrote /' "$1"; }
if [ -s "$WORK/native.txt" ] && [ "$(summary "$WORK/native.txt")" = "$(summary "$WORK/windows.txt")" ]; then
  pass "the same summary"
else
  fail "the same summary" "$(cat "$WORK/native.txt" "$WORK/windows.txt")"
fi
# Another time zone and SOURCE_DATE_EPOCH on the Windows side only change
# nothing but what the epoch holds back.
touch -d '@1750000000' "$WORK/p/payload/readme.txt"
SOURCE_DATE_EPOCH=1700000000 TZ=UTC "$NATIVE" --stub "$STUB" --product "$WORK/p" --out "$WORK/out/native2.exe" \
  >/dev/null 2>&1
SOURCE_DATE_EPOCH=1700000000 TZ=Asia/Tokyo on_windows --stub "$STUB" --product "$WORK/p" \
  --out "$WORK/out/windows2.exe" >"$WORK/windows2.txt" 2>&1
if [ -f "$WORK/out/native2.exe" ] && cmp -s "$WORK/out/native2.exe" "$WORK/out/windows2.exe"; then
  pass "SOURCE_DATE_EPOCH and another time zone: byte-identical"
else
  fail "SOURCE_DATE_EPOCH and another time zone: byte-identical" "$(cat "$WORK/windows2.txt")"
fi

# Mistakes: the same message (paths aside) and exit code.
same_failure() { # name, args...
  local name=$1 nrc wrc
  shift
  "$NATIVE" "$@" >"$WORK/n.out" 2>&1
  nrc=$?
  on_windows "$@" >"$WORK/w.out" 2>&1
  wrc=$?
  local n w
  # Backslashes are path separators under Windows, and the usage text has some.
  n=$(sed -e 's|\\|/|g' -e "s|$WORK|<work>|g" "$WORK/n.out")
  w=$(tr -d '\r' <"$WORK/w.out" | sed -e 's|Z:\\|/|g' -e 's|\\|/|g' -e "s|$WORK|<work>|g")
  if [ "$nrc" = "$wrc" ] && [ "$nrc" != 0 ] && [ "$n" = "$w" ]; then
    pass "$name: exit code $nrc and the same message"
  else
    fail "$name" "native (exit $nrc): $n"$'\n'"windows (exit $wrc): $w"
  fi
}
same_failure "no arguments"
same_failure "unknown argument" --product-folder "$WORK/p"
cp -r "$WORK/p" "$WORK/bad"
printf 'verison = 1.0.0.0\n' >>"$WORK/bad/product.ini"
same_failure "unknown key in product.ini" --stub "$STUB" --product "$WORK/bad" --out "$WORK/out/bad.exe"
sed -i '/^verison/d; s/^payload_7z_switches = .*/payload_7z_switches = -mf=BCJ2/' "$WORK/bad/product.ini"
same_failure "refused switches" --stub "$STUB" --product "$WORK/bad" --out "$WORK/out/bad.exe"
sed -i '/^payload_7z_switches/d' "$WORK/bad/product.ini"
touch "$WORK/bad/payload/aux.txt"
same_failure "a device name in the payload" --stub "$STUB" --product "$WORK/bad" --out "$WORK/out/bad.exe"
if [ ! -e "$WORK/out/bad.exe" ] && [ "$(ls "$WORK/out" | sort | tr '\n' ' ')" = "native.exe native2.exe windows.exe windows2.exe " ]; then
  pass "nothing written for a failed pack, nothing left beside the output"
else
  fail "nothing written for a failed pack" "$(ls "$WORK/out")"
fi

# A payload file another program holds open without sharing: named, and
# nothing written.
if [ -n "$HOLD" ]; then
  rm -rf "$WORK/locked"; cp -r "$FIXTURE" "$WORK/locked"
  "$WINERUN" "$HOLD" "$(win "$WORK/locked/payload/readme.txt")" >/dev/null 2>&1 &
  holder=$!
  for _ in $(seq 1 200); do [ -e "$WORK/locked/payload/readme.txt.held" ] && break; sleep 0.1; done
  err=$(on_windows --stub "$STUB" --product "$WORK/locked" --out "$WORK/out/locked.exe" 2>&1); rc=$?
  rm -f "$WORK/locked/payload/readme.txt.held"
  wait "$holder"
  if [ $rc -eq 1 ] && [[ "$err" == *"readme.txt"* ]] && [ ! -e "$WORK/out/locked.exe" ]; then
    pass "a payload file held open by another program is named, nothing written"
  else
    fail "a payload file held open: exit $rc" "$err"
  fi
fi

finish
