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

# The payload as the packer stores it: first two bytes exchanged.
{ printf 'z7'; tail -c +3 "$out/tree.7z"; } > "$out/tree_exchanged.7z"
printf 'z' > "$out/onebyte.bin"

chmod -R u+w "$work"
rm -rf "$work"
