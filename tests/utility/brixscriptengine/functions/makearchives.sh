#!/bin/sh
# Builds the archives the extraction tests read: makearchives.sh <out folder>.
# Contents are fixed, so a test can compare every byte and time.
set -eu
out=$1
rm -rf "$out"
mkdir -p "$out"
work="$out/work"
export LC_ALL=C.UTF-8 TZ=UTC

# A tree with nested folders, an empty file and folder, a read-only file, a
# file with a known time, a non-ASCII name, and one file larger than two
# 4 MiB write pieces.
tree="$work/tree"
mkdir -p "$tree/d1/d2" "$tree/emptydir" "$tree/中文"
printf 'hello readme\n' > "$tree/readme.txt"
printf 'alpha\n' > "$tree/d1/a.txt"
seq 1 20000 > "$tree/d1/d2/numbers.txt"
: > "$tree/empty.txt"
printf 'read only\n' > "$tree/ro.txt"
printf 'unicode\n' > "$tree/中文/名字.txt"
seq 1 1500000 | head -c 9437191 > "$tree/big.txt"
touch -d '2020-01-02 03:04:05' "$tree/d1/a.txt"
chmod 444 "$tree/ro.txt"
(cd "$tree" && 7zz a -t7z -mx=5 -bso0 -bsp0 "$out/tree.7z" ./*)

# Two small files stored as they are (for damaging the second one's bytes),
# and the same packed with PPMd, which the decoder does not support.
small="$work/small"
mkdir -p "$small"
printf 'first file\n' > "$small/first.txt"
printf 'second file\n' > "$small/second.txt"
(cd "$small" && 7zz a -t7z -m0=Copy -bso0 -bsp0 "$out/stored.7z" first.txt second.txt)
(cd "$small" && 7zz a -t7z -m0=PPMd -bso0 -bsp0 "$out/ppmd.7z" first.txt second.txt)

# The tree again in small solid blocks (two files each), and twelve files
# stored in blocks of three, for damaging one in the last block.
(cd "$tree" && 7zz a -t7z -mx=1 -ms=2f -bso0 -bsp0 "$out/blocks.7z" ./*)
many="$work/many"
mkdir -p "$many"
for i in 00 01 02 03 04 05 06 07 08 09 10 11; do seq -f "file $i line %g" 1 200 > "$many/f$i.txt"; done
(cd "$many" && 7zz a -t7z -m0=Copy -ms=3f -bso0 -bsp0 "$out/many.7z" ./*)

# Three small files for the callbacks; names leading out of the folder
# ("../../", absolute) before one that stays inside.
(cd "$small" && printf A > a.txt && printf B > b.txt && printf C > c.txt &&
  7zz a -t7z -m0=Copy -bso0 -bsp0 "$out/abc.7z" a.txt b.txt c.txt)
mkdir -p "$work/hostile/in/sub"
printf 'evil\n' > "$work/hostile/qt_escape.txt"
printf 'fine\n' > "$work/hostile/in/sub/ok.txt"
(cd "$work/hostile/in/sub" && 7zz a -t7z -m0=Copy -spf -bso0 -bsp0 "$out/hostile.7z" ../../qt_escape.txt \
  "$PWD/ok.txt" ok.txt)

# Folders only, and no items at all.
mkdir -p "$work/folders/x/y" "$work/folders/z" "$work/none"
(cd "$work/folders" && 7zz a -t7z -bso0 -bsp0 "$out/folders.7z" ./*)
(cd "$work/none" && 7zz a -t7z -bso0 -bsp0 "$out/empty.7z" ./*)

# One content in every coder chain: the chains the packer makes are decoded
# as a stream (small dictionaries make the decoder's window wrap round many
# times), the others whole. calls.bin is five MiB of "E8 d d d 00" runs, so
# the x86 filter changes many of them.
chain="$work/chain"
mkdir -p "$chain/emptydir"
seq 1 900000 | tr '1\n' '\350\000' | head -c 5242887 > "$chain/calls.bin"
printf 'chain notes\n' > "$chain/notes.txt"
: > "$chain/empty.txt"
pack_chain() { # name switches...
  name=$1
  shift
  (cd "$chain" && 7zz a -t7z "$@" -bso0 -bsp0 "$out/$name.7z" ./*)
}
pack_chain chain_lzma -m0=LZMA:d=1m
pack_chain chain_lzma2 -m0=LZMA2:d=1m
pack_chain chain_bcj_lzma2 -m0=BCJ -m1=LZMA2
pack_chain chain_bcj_lzma -m0=BCJ -m1=LZMA:d=256k
pack_chain chain_mf_bcj -mf=BCJ
pack_chain fallback_bcj2 -m0=BCJ2 -m1=LZMA -m2=LZMA -m3=LZMA -mb0s0:1 -mb0s1:2 -mb0s2:3
pack_chain fallback_arm64 -mf=ARM64
pack_chain fallback_delta -m0=Delta:4 -m1=LZMA2

# Three hundred small files, an empty file and an empty folder in one solid
# block.
small="$work/manysmall/s"
mkdir -p "$small/emptydir"
i=0
while [ $i -lt 300 ]; do
  n=$(printf '%03d' $i)
  seq -f "s$n %g" 1 $((i % 37 + 1)) > "$small/f$n.txt"
  i=$((i + 1))
done
: > "$small/empty.txt"
(cd "$work/manysmall" && 7zz a -t7z -m0=LZMA2 -ms=on -bso0 -bsp0 "$out/manysmall.7z" s)

# A block whose middle file is six MB that do not compress, so a byte
# changed in the middle of the packed stream is a CRC error found at that
# file's end, past what the decoder may hold ahead of the writer.
mid="$work/crcmid"
mkdir -p "$mid"
printf 'first\n' > "$mid/a_first.dat"
head -c 6000000 /dev/zero |
  openssl enc -aes-128-ctr -nosalt -K 000102030405060708090a0b0c0d0e0f -iv 00000000000000000000000000000000 \
    > "$mid/b_big.dat"
printf 'last\n' > "$mid/c_last.dat"
(cd "$mid" && 7zz a -t7z -m0=LZMA2 -bso0 -bsp0 "$out/crcmid.7z" a_first.dat b_big.dat c_last.dat)

# A block of 8 MB behind a 256 KB dictionary, streamed and, behind the delta
# filter, decoded whole.
mkdir -p "$work/window"
seq 1 1100000 > "$work/window/w.txt"
(cd "$work/window" && 7zz a -t7z -m0=LZMA2:d=256k -bso0 -bsp0 "$out/window.7z" w.txt)
(cd "$work/window" && 7zz a -t7z -m0=Delta:1 -m1=LZMA2:d=256k -bso0 -bsp0 "$out/window_delta.7z" w.txt)

# The payload as the packer stores it: first two bytes exchanged.
{ printf 'z7'; tail -c +3 "$out/tree.7z"; } > "$out/tree_exchanged.7z"
printf 'z' > "$out/onebyte.bin"

chmod -R u+w "$work"
rm -rf "$work"
