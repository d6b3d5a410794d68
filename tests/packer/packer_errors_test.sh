#!/usr/bin/env bash
# The packer's command line against bad input: every failure must exit
# non-zero, say what is wrong on stderr and leave the output file as it was.
# Usage: packer_errors_test.sh <quillpack> <stub.exe> <fixture product folder>
set -u
PACK=$1 STUB=$2 FIXTURE=$3
source "$(dirname "${BASH_SOURCE[0]}")/testlib.sh"
make_work test


# A fresh copy of the fixture to break.
product() { rm -rf "$WORK/p"; cp -r "$FIXTURE" "$WORK/p"; }

# expect_failure <name> <text stderr must contain> <packer args...>
# The output file holds "previous" before the run and must still hold it.
expect_failure() {
  local name=$1 expected=$2; shift 2
  printf previous >"$WORK/out/setup.exe"
  local err rc
  err=$("$PACK" "$@" 2>&1 >/dev/null); rc=$?
  if [ $rc -eq 0 ]; then fail "$name: exit code 0" "$err"; return; fi
  if [[ "$err" != *"$expected"* ]]; then fail "$name: stderr lacks \"$expected\"" "$err"; return; fi
  if [ "$(cat "$WORK/out/setup.exe")" != previous ]; then fail "$name: existing output changed"; return; fi
  if [ "$(ls "$WORK/out")" != setup.exe ]; then fail "$name: files left behind: $(ls "$WORK/out" | tr '\n' ' ')"; return; fi
  pass "$name"
}

pack() { expect_failure "$@" --stub "$STUB" --product "$WORK/p" --out "$WORK/out/setup.exe"; }
mkdir -p "$WORK/out"

# expect_success <name>: the product in $WORK/p packs.
packs() {
  if "$PACK" --stub "$STUB" --product "$WORK/p" --out "$WORK/ok.exe" >/dev/null 2>"$WORK/err"; then pass "$1"
  else fail "$1" "$(cat "$WORK/err")"; fi
}
# set_key <key> <value>: replaces or adds the key in product.ini.
set_key() {
  sed -i "/^$1 = /d" "$WORK/p/product.ini"
  printf '%s = %s\n' "$1" "$2" >>"$WORK/p/product.ini"
}

# --- command line ---------------------------------------------------------
if "$PACK" --help | grep -q -- "--stub <stub.exe>"; then pass "--help prints the usage"; else fail "--help"; fi
expect_failure "no arguments" "are all required"
expect_failure "unknown argument" "unknown argument \"--product-folder\"" --product-folder x
expect_failure "option without value" "--out needs a value" --stub "$STUB" --product "$FIXTURE" --out
expect_failure "uninstaller stub without value" "--uninstaller-stub needs a value" \
  --stub "$STUB" --product "$FIXTURE" --out "$WORK/out/setup.exe" --uninstaller-stub
expect_failure "--check with an uninstaller stub" "--check takes --product only" \
  --check --product "$FIXTURE" --uninstaller-stub "$STUB"

# --- product folder -------------------------------------------------------
expect_failure "missing product folder" "$WORK/nothing: product folder not found" \
  --stub "$STUB" --product "$WORK/nothing" --out "$WORK/out/setup.exe"
product; rm "$WORK/p/install.lua"
pack "missing chunk file" "$WORK/p/install.lua: missing from the product folder"
product; rm -r "$WORK/p/payload"
pack "missing payload folder" "payload: folder missing"
product; printf 'x = 1\nfunction f()\n  return = 2\nend\n' >"$WORK/p/install.lua"
pack "chunk with a syntax error" "$WORK/p/install.lua:3:"
product; printf 'local t = {\n' >"$WORK/p/uninstall.lua"
pack "unfinished chunk" "$WORK/p/uninstall.lua:2:"

# --- product.ini ----------------------------------------------------------
for bad in 2.0.0 2.0.0.18.1 2.0.0.65536 2.0.x.18 "2..0.18" "" "-1.0.0.0"; do
  product; sed -i "s/^version = .*/version = $bad/" "$WORK/p/product.ini"
  pack "bad version \"$bad\"" "product.ini:2: version \"$bad\" is not four dot-separated numbers"
done
product; sed -i 's/^version = /verison = /' "$WORK/p/product.ini"
pack "unknown key" "product.ini:2: unknown key \"verison\""
product; sed -i '/^version = /d' "$WORK/p/product.ini"
pack "missing version" "the required key \"version\" is missing"
product; echo "company = Twice" >>"$WORK/p/product.ini"
pack "key set twice" "\"company\" is set twice (first on line 4)"
product; echo "just words" >>"$WORK/p/product.ini"
pack "line without =" "expected \"key = value\""
product; sed -i 's/^execution_level = .*/execution_level = admin/' "$WORK/p/product.ini"
pack "bad execution level" "execution_level \"admin\" must be"
product; echo "stat_host = evil.example/path?x=1" >>"$WORK/p/product.ini"
pack "host name with a path" "stat_host \"evil.example/path?x=1\" is not a host name"

# --- product.ini in another encoding -------------------------------------
product; iconv -f UTF-8 -t UTF-16 "$FIXTURE/product.ini" >"$WORK/p/product.ini"
pack "UTF-16 with a byte order mark" "product.ini: the file is UTF-16 (byte order mark FF FE), not UTF-8"
product; iconv -f UTF-8 -t UTF-16BE "$FIXTURE/product.ini" | { printf '\xFE\xFF'; cat; } >"$WORK/p/product.ini"
pack "UTF-16 big-endian" "the file is UTF-16 (byte order mark FE FF)"
product; iconv -f UTF-8 -t UTF-16LE "$FIXTURE/product.ini" >"$WORK/p/product.ini"
pack "UTF-16 without a byte order mark" "product.ini:1: NUL byte in column 2: the file is not UTF-8"
product; printf '# caf\xe9 (Latin-1)\n' >>"$WORK/p/product.ini"
pack "Latin-1 in a comment" "product.ini:11: not valid UTF-8 (byte 0xE9 in column 6)"
product; printf 'copyright = (C)\x0bHarlow\n' >"$WORK/p/x"; grep -v '^copyright' "$WORK/p/product.ini" >>"$WORK/p/x"
mv "$WORK/p/x" "$WORK/p/product.ini"
pack "control character in a value" "product.ini:1: the value of \"copyright\" holds a control character"
product; printf '\xEF\xBB\xBF' | cat - "$FIXTURE/product.ini" >"$WORK/p/product.ini"
packs "UTF-8 with a byte order mark packs"

# --- version texts: each length in the version resource is 16 bits -----
letters() { head -c "$1" /dev/zero | tr '\0' "${2:-a}"; }
product; set_key company "$(letters 70000)"
pack "70,000-letter company" "product.ini:10: company is 70000 characters long; the version resource holds at most 4096"
product; set_key description "$(letters 4097 d)"
pack "description one over the limit" "description is 4097 characters long"
product; set_key product_name "$(python3 -c 'print("\U0001F58B" * 2049)')"
pack "product name over the limit in UTF-16 units" "product_name is 4098 characters long"
product
for k in product_name company description copyright; do set_key $k "$(letters 4096 x)"; done
packs "four values at the limit pack"

# --- payload switches: only what the installer's decoder unpacks ---------
product; set_key payload_7z_switches "-mx=5 -sdel"
pack "-sdel" "payload_7z_switches: \"-sdel\" is refused: it deletes the product's payload files"
if [ -f "$WORK/p/payload/readme.txt" ] && [ -f "$WORK/p/payload/bin/data/blob.txt" ]; then pass "-sdel: payload still there"
else fail "-sdel: payload files gone"; fi
product; set_key payload_7z_switches "-m0=PPMd"
pack "PPMd" "\"-m0=PPMd\" is refused: the installer cannot unpack method \"PPMd\""
product; set_key payload_7z_switches "-mf=Swap4"
pack "a filter the decoder lacks" "cannot unpack method \"Swap4\""
product; set_key payload_7z_switches "-psecret"
pack "password" "\"-psecret\" is refused: it encrypts the payload"
product; set_key payload_7z_switches "-mhe=on"
pack "header encryption" "\"-mhe=on\" is refused: header encryption"
product; set_key payload_7z_switches '-x!*'
pack "exclusion" "\"-x!*\" is refused: it changes which files go into the payload"
product; set_key payload_7z_switches "-v1m"
pack "volumes" "\"-v1m\" is refused: it splits the payload"
product; set_key payload_7z_switches "-mx=9 extra.txt"
pack "a file name" "\"extra.txt\" is refused: it is not a switch"
# Chains the installer would decode whole (or not at all), and 7zz's
# switches the packer's own writer does not take.
refused() { # switches, what stderr must say
  product; set_key payload_7z_switches "$1"
  pack "refused: $1" "$2"
}
refused "-m0=BCJ -m1=Delta -m2=LZMA2" "\"-m0=BCJ\" is refused: the packer writes one method"
refused "-m0=LZMA2 -m1=BCJ" "\"-m1=BCJ\" is refused: the packer writes one method"
refused "-mf=BCJ2 -mmt=2" "\"-mf=BCJ2\" is refused: the installer would decode \"BCJ2\" whole"
refused "-m0=ARM64 -m1=LZMA2:d=1m:fb=64" "\"-m0=ARM64\" is refused: the installer would decode \"ARM64\" whole"
refused "-mf=Delta:4 -mhc=off" "\"-mf=Delta:4\" is refused: the installer would decode \"Delta:4\" whole"
refused "-m0=BCJ2 -m1=LZMA2 -m2=LZMA -m3=LZMA -mb0s0:1 -mb0s1:2 -mb0s2:3" "\"-m0=BCJ2\" is refused"
refused "-mqs -mtm=off" "\"-mtm=off\" is refused: it is not one of the settings the packer takes"
refused "-md=64m" "\"-md=64m\" is refused: give it inside -m0, as in -m0=LZMA2:d=..."
refused "-m0=LZMA2:d=512m" "\"d=512m\": the dictionary must be 4k to 256m"
refused "-m0=LZMA2:fb=300" "\"fb=300\": out of range"
refused "-m0=LZMA2:mf=bt2" "\"mf=bt2\": the packer takes d, fb, mc, lc, lp and pb"
refused "-m0=LZMA2:lc=4:lp=1" "lc=4 with lp=1 is refused: LZMA2 takes lc + lp up to 4"
refused "-ms=e" "\"-ms=e\" is refused: the solid block size is on, off or a size"
refused "-mx=banana" "\"-mx=banana\" is refused: the level must be a number 0 to 9"
refused "-mhc=maybe" "\"-mhc=maybe\" is refused: it is -mhc=on or -mhc=off"
# Every refusal names what is taken.
refused "-mtc=on" "the packer takes -mx=N (0..9), -m0=LZMA2 or -m0=LZMA"
product; cp "$STUB" "$WORK/p/payload/bin/"
for sw in "-mx=9" "-m0=LZMA:d=1m -ms=off" "-mx=0" "-mx1 -mf=on -mmt=1" "-mf=BCJ -mqs=off -mhc=off" "-ms=on -mmt=on" \
          "-ms=64k -m0=LZMA2:d=24:fb=5:mc=8:lc=4:lp=0:pb=4" "-m0=LZMA:lc=8:lp=4:pb=0 -mf=off -ms=1m"; do
  set_key payload_7z_switches "$sw"
  packs "switches \"$sw\" pack"
done

# --- what the payload and skin folders hold -------------------------------
product; ln -s ../readme.txt "$WORK/p/payload/bin/readme-link.txt"
pack "symbolic link to a file in the payload" "payload/bin/readme-link.txt: is a symbolic link (to ../readme.txt);"
product; ln -s /etc "$WORK/p/payload/etc"
pack "symbolic link to a folder in the payload" "payload/etc: is a symbolic link (to /etc)"
product; ln -s nowhere/gone.dll "$WORK/p/payload/bin/gone.dll"
pack "dangling symbolic link in the payload" "payload/bin/gone.dll: is a symbolic link (to nowhere/gone.dll, which does not exist)"
product; rm -r "$WORK/p/payload"; ln -s "$WORK/moved" "$WORK/p/payload"
pack "payload folder that is a dangling link" "p/payload: is a symbolic link (to $WORK/moved, which does not exist)"
product; ln -s /etc/hostname "$WORK/p/skin/Images/host.png"
pack "symbolic link in the skin" "skin/Images/host.png: is a symbolic link"
product; mkfifo "$WORK/p/payload/pipe"
pack "named pipe in the payload" "payload/pipe: is neither a file nor a folder"
product; touch "$WORK/p/payload/bin/aux.txt"
pack "device name" "payload/bin/aux.txt: the installer refuses this name"
product; touch "$WORK/p/payload/a:b"
pack "colon in a name" "payload/a:b: the name holds a character Windows does not allow in file names (':')"
product; touch "$WORK/p/payload/notes."
pack "trailing dot" "payload/notes.: the name ends in a dot or a blank"
product; touch "$WORK/p/payload/README.TXT"
pack "names differing only in case" "only in case; Windows keeps one of the two"
product; touch "$WORK/p/payload/$(printf 'caf\xe9.txt')"
pack "name not in UTF-8" "the name is not valid UTF-8"
product; mkdir -p "$WORK/p/payload/empty folder" "$WORK/p/payload/.hidden"; touch "$WORK/p/payload/.hidden/x" "$WORK/p/payload/羽笔.txt"
packs "empty folders, hidden and Chinese names pack"

# --- icon, skin, payload ----------------------------------------------------
product; echo "not an icon" >"$WORK/p/icon.ico"
pack "icon that is no icon" "icon.ico: not a usable icon file"
product; rm -r "$WORK/p/skin"/*
pack "empty skin folder" "the skin folder holds no files"

# --- stub -----------------------------------------------------------------
product
expect_failure "stub missing" "$WORK/no-stub.exe: No such file" \
  --stub "$WORK/no-stub.exe" --product "$WORK/p" --out "$WORK/out/setup.exe"
expect_failure "stub that is no executable" "not a Windows executable" \
  --stub "$WORK/p/product.ini" --product "$WORK/p" --out "$WORK/out/setup.exe"
# Found by fuzzing: SizeOfHeaders past the end of the file, no section data.
expect_failure "stub whose headers claim more than the file holds" "stub: has no room for another section header" \
  --stub "$(dirname "$0")/stub_headers_past_end.bin" --product "$WORK/p" --out "$WORK/out/setup.exe"
# Found by fuzzing: a file alignment of 256 MiB made a 256 MiB installer.
expect_failure "stub with a huge file alignment" "stub: file alignment 268435456 is larger than the 64 KiB" \
  --stub "$(dirname "$0")/stub_file_alignment_256m.bin" --product "$WORK/p" --out "$WORK/out/setup.exe"
# Found by fuzzing: a PE header at an odd offset got a wrong checksum.
expect_failure "stub with an unaligned PE header" "stub: PE header at offset 91 is not 4-byte aligned" \
  --stub "$(dirname "$0")/stub_pe_header_unaligned.bin" --product "$WORK/p" --out "$WORK/out/setup.exe"
head -c 2000 "$STUB" >"$WORK/short.exe"
expect_failure "uninstaller stub missing" "uninstaller stub $WORK/no-stub.exe: No such file" \
  --stub "$STUB" --uninstaller-stub "$WORK/no-stub.exe" --product "$WORK/p" --out "$WORK/out/setup.exe"
expect_failure "uninstaller stub that is no executable" "not a Windows executable" \
  --stub "$STUB" --uninstaller-stub "$WORK/p/product.ini" --product "$WORK/p" --out "$WORK/out/setup.exe"
expect_failure "truncated stub" "stub:" --stub "$WORK/short.exe" --product "$WORK/p" --out "$WORK/out/setup.exe"
expect_failure "output folder missing" "does not exist" \
  --stub "$STUB" --product "$WORK/p" --out "$WORK/none/setup.exe"

# --- the payload's summary and coder chains --------------------------------
product; cp "$STUB" "$WORK/p/payload/bin/"; sed -i '/^payload_7z_switches = /d' "$WORK/p/product.ini"
out=$("$PACK" --stub "$STUB" --product "$WORK/p" --out "$WORK/ok.exe" 2>"$WORK/err")
bytes=$(find "$WORK/p/payload" -type f -printf '%s\n' | awk '{s += $1} END {print s}')
before=$(awk -v b="$bytes" 'BEGIN {printf "%.1f MB", b / 1e6}')
line=$(grep '^quillpack: payload ' <<<"$out")
if [[ "$line" =~ ^quillpack:\ payload\ ([0-9.]+)\ MB\ -\>\ ([0-9.]+)\ (MB|KB)\ \(([0-9.]+)\ %\)\ in\ [0-9.]+\ s$ ]] &&
   [ "${BASH_REMATCH[1]} MB" = "$before" ] &&
   awk -v a="${BASH_REMATCH[1]}" -v b="${BASH_REMATCH[2]}" -v u="${BASH_REMATCH[3]}" -v r="${BASH_REMATCH[4]}" \
     'BEGIN {e = u == "KB" ? 0.00005 : 0.05; b = u == "KB" ? b / 1000 : b; d = 100 * b / a - r
             # both sizes are rounded to one decimal: the ratio may differ by that much
             t = 100 * (e / a + 0.05 * b / (a * a)) + 0.05; exit !(b < a && d <= t && d >= -t)}' &&
   grep -q '^quillpack: wrote ' <<<"$out"; then
  pass "summary line: payload $before before, ratio matching"
else
  fail "summary line (payload has $before)" "$out"
fi
if [ ! -s "$WORK/err" ]; then pass "default switches: nothing on stderr"
else fail "default switches: nothing on stderr" "$(cat "$WORK/err")"; fi
product; rm -r "$WORK/p/payload"/*; rm -f "$WORK/p/payload"/.[!.]*
if out=$("$PACK" --stub "$STUB" --product "$WORK/p" --out "$WORK/ok.exe" 2>&1) &&
   grep -q '^quillpack: payload 0 bytes -> 32 bytes (empty) in ' <<<"$out"; then
  pass "summary line of an empty payload"
else
  fail "summary line of an empty payload" "$out"
fi

# --- what succeeds --------------------------------------------------------
if "$PACK" --stub "$STUB" --product "$WORK/p" --out "$WORK/packed.exe" >/dev/null 2>"$WORK/err" &&
   [ "$(head -c 2 "$WORK/packed.exe")" = MZ ] && [ -x "$WORK/packed.exe" ]; then
  pass "fixture packs"
else
  fail "fixture packs" "$(cat "$WORK/err")"
fi
expect_failure "stub that already has resources" "already has a resource directory" \
  --stub "$WORK/packed.exe" --product "$WORK/p" --out "$WORK/out/setup.exe"
expect_failure "uninstaller stub that already has resources" "uninstaller stub: already has a resource directory" \
  --stub "$STUB" --uninstaller-stub "$WORK/packed.exe" --product "$WORK/p" --out "$WORK/out/setup.exe"
# The same stub with the other machine in its COFF header: a 64-bit
# uninstaller in a 32-bit installer would not start where setup.exe did.
python3 - "$STUB" "$WORK/other-machine.exe" <<'PY'
import struct, sys
d = bytearray(open(sys.argv[1], "rb").read())
at = struct.unpack_from("<I", d, 0x3C)[0] + 4
machine = struct.unpack_from("<H", d, at)[0]
struct.pack_into("<H", d, at, 0x8664 if machine == 0x14C else 0x14C)
open(sys.argv[2], "wb").write(d)
PY
expect_failure "uninstaller stub for another machine" "both must be for the same machine" \
  --stub "$STUB" --uninstaller-stub "$WORK/other-machine.exe" --product "$WORK/p" --out "$WORK/out/setup.exe"
if "$PACK" --stub "$STUB" --uninstaller-stub "$STUB" --product "$WORK/p" --out "$WORK/same.exe" >/dev/null 2>"$WORK/err" &&
   cmp -s "$WORK/same.exe" "$WORK/packed.exe"; then
  pass "the installer stub given as the uninstaller's packs as without the option"
else
  fail "the installer stub given as the uninstaller's" "$(cat "$WORK/err")"
fi
printf previous >"$WORK/out/setup.exe"
if "$PACK" --stub "$STUB" --product "$WORK/p" --out "$WORK/out/setup.exe" >/dev/null 2>"$WORK/err" &&
   cmp -s "$WORK/out/setup.exe" "$WORK/packed.exe" && [ "$(ls "$WORK/out")" = setup.exe ]; then
  pass "an existing output is replaced, alone in its folder"
else
  fail "an existing output is replaced" "$(cat "$WORK/err")"
fi
product; rm -r "$WORK/p/payload"/*; rm -f "$WORK/p/payload"/.[!.]*
if "$PACK" --stub "$STUB" --product "$WORK/p" --out "$WORK/empty.exe" >/dev/null 2>"$WORK/err"; then
  pass "an empty payload folder packs"
else
  fail "an empty payload folder packs" "$(cat "$WORK/err")"
fi

# --- what product teams hit ------------------------------------------------
product; printf '\xef\xbb\xbf' >"$WORK/ini"; sed 's/$/\r/' "$WORK/p/product.ini" >>"$WORK/ini"; mv "$WORK/ini" "$WORK/p/product.ini"
packs "product.ini saved with a BOM and CRLF line ends"
# expect_usage <name> <text> <args...>: a command line refused with exit 2, nothing written.
expect_usage() {
  local name=$1 expected=$2; shift 2
  local err rc
  err=$("$PACK" "$@" 2>&1 >/dev/null); rc=$?
  if [ $rc -ne 2 ]; then fail "$name: exit code $rc, not 2" "$err"; return; fi
  if [[ "$err" != *"$expected"* ]]; then fail "$name: stderr lacks \"$expected\"" "$err"; return; fi
  pass "$name"
}
product
expect_usage "output inside the payload folder" "lies inside the product's payload folder" \
  --stub "$STUB" --product "$WORK/p" --out "$WORK/p/payload/bin/setup.exe"
[ ! -e "$WORK/p/payload/bin/setup.exe" ] || fail "setup.exe written into the payload"
expect_usage "output inside the payload folder, reached through .." "lies inside the product's payload folder" \
  --stub "$STUB" --product "$WORK/p" --out "$WORK/p/skin/../payload/setup.exe"
expect_usage "output inside the skin folder" "lies inside the product's skin folder" \
  --stub "$STUB" --product "$WORK/p/" --out "$WORK/p/skin/setup.exe"
if "$PACK" --stub "$STUB" --product "$WORK/p" --out "$WORK/p/setup.exe" >/dev/null 2>"$WORK/err"; then
  pass "output in the product folder itself (not packed) is fine"; rm -f "$WORK/p/setup.exe"
else fail "output in the product folder" "$(cat "$WORK/err")"; fi
expect_usage "unknown option" "unknown argument \"--fast\"" --fast
# A read-only folder (root writes through permissions, so a read-only mount).
mkdir -p "$WORK/ro"
if mount -t tmpfs -o ro,size=64k tmpfs "$WORK/ro" 2>/dev/null; then
  err=$("$PACK" --stub "$STUB" --product "$WORK/p" --out "$WORK/ro/setup.exe" 2>&1 >/dev/null); rc=$?
  if [ $rc -eq 1 ] && [[ "$err" == *"$WORK/ro"* ]] && [ -z "$(ls -A "$WORK/ro")" ]; then pass "read-only output folder"
  else fail "read-only output folder: exit $rc" "$err"; fi
  umount "$WORK/ro"
else
  echo "skip - read-only output folder (no mount here)"
fi

# A payload past what a 32-bit installer can map (1 GiB of random bytes, so
# about half a minute): only with QUILL_BIG_TESTS=1 and a 32-bit stub.
if [ -n "${QUILL_BIG_TESTS:-}" ] && [ "$(python3 -c 'import struct,sys; d=open(sys.argv[1],"rb").read(4096); print(struct.unpack_from("<H", d, struct.unpack_from("<I", d, 60)[0] + 24)[0])' "$STUB")" = 267 ]; then
  product; head -c 1100M /dev/urandom >"$WORK/p/payload/big.bin"
  pack "payload too large for a 32-bit installer" "so the packer stops at 1024 MiB"
  rm -f "$WORK/p/payload/big.bin"
fi

finish
