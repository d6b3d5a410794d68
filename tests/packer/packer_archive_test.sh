#!/usr/bin/env bash
# The archives the packer writes itself, read by 7-Zip (7zz): the payload
# (APP.7Z) in every chain and layout the switches give, the uninstaller
# (UNINST.7Z) and the skin (ZIP 249). Each payload packed here has also
# passed the packer's own check, which unpacks it with the installer's
# streaming decoder.
# Usage: packer_archive_test.sh <quillpack> <stub.exe> <fixture product folder>
set -u
PACK=$1 STUB=$2 FIXTURE=$3
HERE=$(cd "$(dirname "$0")" && pwd)
source "$(dirname "${BASH_SOURCE[0]}")/testlib.sh"
make_work archive
export LC_ALL=C.UTF-8 TZ=UTC

check() { # name, command...: passes when the command does
  local name=$1 out
  shift
  if out=$("$@" 2>&1); then pass "$name"; else fail "$name" "$out"; fi
}

# A fresh copy of the fixture with the given payload switches ("" for the
# packer's default).
product() {
  chmod -R u+w "$WORK/p" 2>/dev/null
  rm -rf "$WORK/p"
  cp -r "$FIXTURE" "$WORK/p"
  sed -i '/^payload_7z_switches = /d' "$WORK/p/product.ini"
  [ -n "$1" ] && printf 'payload_7z_switches = %s\n' "$1" >>"$WORK/p/product.ini"
  return 0
}
# pack <name>: packs $WORK/p into $WORK/<name>.exe and takes its APP.7Z out
# as $WORK/<name>.7z; false (with the packer's words) when either fails.
pack() {
  "$PACK" --stub "$STUB" --product "$WORK/p" --out "$WORK/$1.exe" >/dev/null 2>"$WORK/err" &&
    python3 "$HERE/peresource.py" "$WORK/$1.exe" _7Z APP.7Z "$WORK/$1.7z" 2>>"$WORK/err"
}
# The archive's items in archive order, one "path|method|attributes" line each.
items() {
  7zz l -slt "$1" | awk -F' = ' '/^----------/ {on = 1; next} on && /^Path/ {p = $2} on && /^Attributes/ {a = $2}
    on && /^Method/ {m = $2} on && /^$/ && p != "" {print p "|" m "|" a; p = ""} END {if (p != "") print p "|" m "|" a}'
}
blocks() { 7zz l -slt "$1" | sed -n 's/^Blocks = //p' | head -n 1; }
# 7zz unpacks the archive into $WORK/x, which must equal the payload folder.
unpacks_to_payload() {
  rm -rf "$WORK/x"
  7zz x -y -bso0 -bsp0 -o"$WORK/x" "$1" && diff -r "$WORK/p/payload" "$WORK/x"
}

# --- the fixture, as the build packs it -------------------------------------
product "-mx=1"
if pack fixture; then
  check "fixture: 7zz tests the payload" 7zz t -bso0 -bsp0 "$WORK/fixture.7z"
  check "fixture: 7zz unpacks exactly the payload folder" unpacks_to_payload "$WORK/fixture.7z"
else
  fail "fixture packs" "$(cat "$WORK/err")"
fi

# --- the uninstaller: one program, BCJ + LZMA2, without skin or payload -----
if python3 "$HERE/peresource.py" "$WORK/fixture.exe" _7Z UNINST.7Z "$WORK/uninst.7z" 2>"$WORK/err"; then
  check "uninstaller: 7zz tests UNINST.7Z" 7zz t -bso0 -bsp0 "$WORK/uninst.7z"
  listed=$(items "$WORK/uninst.7z")
  if [[ "$listed" =~ ^uninst\.exe\|BCJ\ LZMA2:[0-9a-z]+\|A$ ]]; then pass "uninstaller: uninst.exe alone, BCJ + LZMA2"
  else fail "uninstaller: uninst.exe alone, BCJ + LZMA2" "$listed"; fi
  7zz x -y -bso0 -bsp0 -o"$WORK/u" "$WORK/uninst.7z" >/dev/null
  role=$(python3 "$HERE/peresource.py" "$WORK/u/uninst.exe" CFG ROLE /dev/stdout 2>&1)
  if [ "$role" = uninstaller ] &&
     python3 "$HERE/peresource.py" "$WORK/u/uninst.exe" LUA UNINSTSCRIPT.LUAC /dev/null 2>/dev/null &&
     ! python3 "$HERE/peresource.py" "$WORK/u/uninst.exe" LUA INSTSCRIPT.LUAC /dev/null 2>/dev/null &&
     ! python3 "$HERE/peresource.py" "$WORK/u/uninst.exe" ZIP 249 /dev/null 2>/dev/null &&
     ! python3 "$HERE/peresource.py" "$WORK/u/uninst.exe" _7Z APP.7Z /dev/null 2>/dev/null; then
    pass "uninstaller: the stub in its uninstaller role, with its chunk, no install chunk, skin or payload"
  else
    fail "uninstaller: the stub in its uninstaller role" "ROLE: $role"
  fi
else
  fail "uninstaller: UNINST.7Z is there" "$(cat "$WORK/err")"
fi
if ! python3 "$HERE/peresource.py" "$WORK/fixture.exe" BIN UNINST.EXE /dev/null 2>/dev/null; then
  pass "no uncompressed BIN/UNINST.EXE"
else
  fail "no uncompressed BIN/UNINST.EXE"
fi

# --- the skin: names relative to the folder, sorted, no folders -------------
python3 "$HERE/peresource.py" "$WORK/fixture.exe" ZIP 249 "$WORK/skin.zip"
check "skin: unzip tests the ZIP" unzip -tq "$WORK/skin.zip"
names=$(zipinfo -1 "$WORK/skin.zip" | tr '\n' ' ')
if [ "$names" = "Images/dot.png Layout/Layout.xml " ]; then pass "skin: entries relative to the folder, sorted"
else fail "skin: entries relative to the folder, sorted" "$names"; fi
# A skin file from before 1980 gets the first DOS date; one from 2031 keeps
# its time (DOS stores two-second steps), as UTC.
product ""
touch -d '1975-06-01 12:00:00 UTC' "$WORK/p/skin/Images/dot.png"
touch -d '2031-07-08 09:10:11 UTC' "$WORK/p/skin/Layout/Layout.xml"
if pack skintimes && python3 "$HERE/peresource.py" "$WORK/skintimes.exe" ZIP 249 "$WORK/times.zip"; then
  times=$(zipinfo -T "$WORK/times.zip" | awk '/^-/ {print $(NF - 1)}' | tr '\n' ' ')
  if [ "$times" = "19800101.000000 20310708.091010 " ]; then pass "skin: DOS times from UTC, held to 1980 at the earliest"
  else fail "skin: DOS times from UTC, held to 1980 at the earliest" "$times"; fi
else
  fail "skin with old and new times packs" "$(cat "$WORK/err")"
fi

# --- what a payload may hold ------------------------------------------------
product "-mx=5"
mkdir -p "$WORK/p/payload/empty/deeper" "$WORK/p/payload/中文" "$WORK/p/payload/.hidden"
: >"$WORK/p/payload/empty.txt"
: >"$WORK/p/payload/empty/deeper/zero.bin"
printf '名字\n' >"$WORK/p/payload/中文/名字.txt"
printf 'hidden\n' >"$WORK/p/payload/.hidden/h.txt"
# Several megabytes: text the dictionary finds again, then bytes that do
# not compress.
seq 1 700000 >"$WORK/p/payload/big.txt"
head -c 3000000 /dev/urandom >>"$WORK/p/payload/big.txt"
printf 'read only\n' >"$WORK/p/payload/ro.txt"
chmod 444 "$WORK/p/payload/ro.txt"
touch -d '2001-02-03 04:05:06.7891234 UTC' "$WORK/p/payload/readme.txt"
if pack content; then
  check "empty files and folders, Chinese names, a multi-megabyte file: 7zz tests them" \
    7zz t -bso0 -bsp0 "$WORK/content.7z"
  check "... and unpacks exactly the payload folder" unpacks_to_payload "$WORK/content.7z"
  listed=$(items "$WORK/content.7z")
  expect() { # name, pattern a listed line must match whole
    if grep -qxE "$2" <<<"$listed"; then pass "$1"; else fail "$1" "$listed"; fi
  }
  expect "a read-only file is stored read-only" "ro\.txt\|LZMA2:[0-9a-z]+\|RA"
  expect "an empty file is an empty file" "empty\.txt\|\|A"
  expect "an empty folder is a folder" "empty/deeper\|\|D"
  expect "a Chinese name keeps its characters" "中文/名字\.txt\|LZMA2:[0-9a-z]+\|A"
  modified=$(7zz l -slt "$WORK/content.7z" | grep -A3 '^Path = readme.txt$' | sed -n 's/^Modified = //p')
  if [ "$modified" = "2001-02-03 04:05:06.7891234" ]; then pass "a file's own time, to 100 ns"
  else fail "a file's own time, to 100 ns" "$modified"; fi
  # Items with bytes first, block by block; empty files; then folders.
  order=$(cut -d'|' -f1 <<<"$listed" | tr '\n' ' ')
  if [[ "$order" == *" empty.txt empty/deeper/zero.bin .hidden bin bin/data empty empty/deeper 中文 " ]]; then
    pass "files with bytes, then empty files, then folders"
  else
    fail "files with bytes, then empty files, then folders" "$order"
  fi
else
  fail "a payload of empty files and folders, Chinese names and a large file packs" "$(cat "$WORK/err")"
fi

# --- coder chains -----------------------------------------------------------
chain() { # name, switches, pattern every listed method must match
  product "$2"
  cp "$STUB" "$WORK/p/payload/bin/setup_copy.exe"
  if ! pack chain; then
    fail "$1: packs" "$(cat "$WORK/err")"
    return
  fi
  local methods
  methods=$(items "$WORK/chain.7z" | awk -F'|' '$2 != "" {print $1 " " $2}')
  if 7zz t -bso0 -bsp0 "$WORK/chain.7z" >/dev/null 2>&1 && unpacks_to_payload "$WORK/chain.7z" >/dev/null &&
     ! grep -vqE "$3" <<<"$methods"; then
    pass "$1"
  else
    fail "$1" "$methods"
  fi
}
chain "LZMA2 alone (-mf=off)" "-mx=1 -mf=off" "^[^ ]+ LZMA2:[0-9a-z]+$"
chain "BCJ + LZMA2 for every file (-mf=BCJ)" "-mx=1 -mf=BCJ" "^[^ ]+ BCJ LZMA2:[0-9a-z]+$"
chain "BCJ + LZMA2 for the program only (-mf=on)" "-mx=1 -mf=on" \
  "^(bin/setup_copy\.exe BCJ LZMA2:[0-9a-z]+|[^ ]+\.(txt|ini) LZMA2:[0-9a-z]+)$"
chain "LZMA alone" "-mx=1 -m0=LZMA -mf=off" "^[^ ]+ LZMA:[0-9a-z]+$"
chain "BCJ + LZMA" "-mx=1 -m0=LZMA -mf=BCJ" "^[^ ]+ BCJ LZMA:[0-9a-z]+$"
if [ "$(blocks "$WORK/chain.7z")" = 1 ]; then pass "one solid block by default (-ms=on)"
else fail "one solid block by default (-ms=on)" "$(blocks "$WORK/chain.7z") blocks"; fi

# The program in a block of its own after a small first block: each block
# has the dictionary of its own size, and the installer's decoder must take
# every block's from its own coder record (it took block 0's once).
product "-mx=1 -mf=on"
cp "$STUB" "$WORK/p/payload/bin/setup_copy.exe"
if pack dicts; then
  dictionaries=$(items "$WORK/dicts.7z" | awk -F'|' '$2 != "" {print $2}' | sort -u | tr '\n' ' ')
  if [ "$(blocks "$WORK/dicts.7z")" = 2 ] && [[ "$dictionaries" =~ ^BCJ\ LZMA2:([0-9a-z]+)\ LZMA2:([0-9a-z]+)\ $ ]] &&
     [ "${BASH_REMATCH[1]}" != "${BASH_REMATCH[2]}" ]; then
    pass "blocks with dictionaries of their own pass the installer's decoder"
  else
    fail "blocks with dictionaries of their own" "$(blocks "$WORK/dicts.7z") blocks: $dictionaries"
  fi
else
  fail "blocks with dictionaries of their own pass the installer's decoder" "$(cat "$WORK/err")"
fi

# --- solid blocks and order ---------------------------------------------------
product "-mx=1 -mf=off -ms=1m"
for f in a b c; do head -c 600000 /dev/urandom >"$WORK/p/payload/$f.bin"; done
if pack solid; then
  # 600 KB, 600 KB, 600 KB and 5 KB of text: no two of the large ones fit
  # one 1 MiB block.
  n=$(blocks "$WORK/solid.7z")
  if [ "$n" = 3 ]; then pass "-ms=1m: a block takes files while they stay within 1 MiB"
  else fail "-ms=1m: blocks" "$n blocks: $(items "$WORK/solid.7z")"; fi
else
  fail "-ms=1m packs" "$(cat "$WORK/err")"
fi
product "-mx=1 -ms=off"
if pack off; then
  [ "$(blocks "$WORK/off.7z")" = 3 ] && pass "-ms=off: a block per file" || fail "-ms=off: a block per file" "$(blocks "$WORK/off.7z")"
else
  fail "-ms=off packs" "$(cat "$WORK/err")"
fi
order_of() { # switches: the payload's file order
  product "$1"
  mkdir -p "$WORK/p/payload/a" "$WORK/p/payload/b"
  for f in a/x.dll b/x.dll a/y.txt b/A.DLL; do printf '%s\n' "$f" >"$WORK/p/payload/$f"; done
  pack order && items "$WORK/order.7z" | awk -F'|' '$2 != "" {print $1}' | tr '\n' ' '
}
got=$(order_of "-mx=1 -mqs")
if [ "$got" = "b/A.DLL a/x.dll b/x.dll bin/settings.ini bin/data/blob.txt readme.txt a/y.txt " ]; then
  pass "-mqs: by extension, then name, then path"
else
  fail "-mqs: by extension, then name, then path" "$got"
fi
got=$(order_of "-mx=1 -mqs=off")
if [ "$got" = "a/x.dll a/y.txt b/A.DLL b/x.dll bin/data/blob.txt bin/settings.ini readme.txt " ]; then
  pass "-mqs=off: by path"
else
  fail "-mqs=off: by path" "$got"
fi

# --- threads and header -------------------------------------------------------
product "-mx=5 -mmt=1"
seq 1 300000 >"$WORK/p/payload/numbers.txt"
pack one
sed -i 's/^payload_7z_switches = .*/payload_7z_switches = -mx=5 -mmt=2/' "$WORK/p/product.ini"
pack two
if cmp -s "$WORK/one.7z" "$WORK/two.7z" && cmp -s "$WORK/one.exe" "$WORK/two.exe"; then
  pass "-mmt=1 and -mmt=2 write the same bytes"
else
  fail "-mmt=1 and -mmt=2 write the same bytes"
fi
# The header the start header points to: kEncodedHeader (0x17) when it is
# compressed, kHeader (0x01) when not.
first_header_byte() {
  python3 -c 'import struct,sys; d=open(sys.argv[1],"rb").read(); print(d[32 + struct.unpack_from("<Q", d, 12)[0]])' "$1"
}
[ "$(first_header_byte "$WORK/two.7z")" = 23 ] && pass "the header is compressed by default" ||
  fail "the header is compressed by default" "$(first_header_byte "$WORK/two.7z")"
product "-mx=1 -mhc=off"
if pack plain && [ "$(first_header_byte "$WORK/plain.7z")" = 1 ] && 7zz t -bso0 -bsp0 "$WORK/plain.7z" >/dev/null; then
  pass "-mhc=off: a plain header 7zz reads"
else
  fail "-mhc=off: a plain header 7zz reads" "$(cat "$WORK/err")"
fi

# --- an empty payload ---------------------------------------------------------
product ""
rm -rf "$WORK/p/payload"/*
if pack empty && [ "$(stat -c %s "$WORK/empty.7z")" = 32 ] && 7zz t -bso0 -bsp0 "$WORK/empty.7z" >/dev/null; then
  pass "an empty payload is the 32-byte empty archive"
else
  fail "an empty payload is the 32-byte empty archive" "$(cat "$WORK/err")"
fi
product ""
rm -rf "$WORK/p/payload"/*
mkdir -p "$WORK/p/payload/only/folders"
if pack folders && unpacks_to_payload "$WORK/folders.7z" >/dev/null; then pass "a payload of folders only"
else fail "a payload of folders only" "$(cat "$WORK/err")"; fi

finish
