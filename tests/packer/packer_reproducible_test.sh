#!/usr/bin/env bash
# The same stub and product give a byte-identical setup.exe wherever the
# product folder lies, in whatever order its files were made (and so are
# listed), at any time of day, in any time zone and for any user; with
# SOURCE_DATE_EPOCH set, also when the files are newer than it.
# Usage: packer_reproducible_test.sh <quillpack> <stub.exe> <fixture product folder>
set -u
PACK=$1 STUB=$2 FIXTURE=$3
HERE=$(cd "$(dirname "$0")" && pwd)
source "$(dirname "${BASH_SOURCE[0]}")/testlib.sh"
make_work repro
chmod 755 "$WORK"
trap 'chmod -R u+w "$WORK"; rm -rf "$WORK"' EXIT

sha() { sha256sum "$1" | cut -d' ' -f1; }

# A payload beyond the fixture's own: folders, empty ones, a read-only
# file, Chinese names, a program (in a BCJ block of its own), made in the
# order given.
extra_payload() { # folder, "forward" or "backward"
  local p=$1/payload names=(a/one.txt a/two.txt b/one.txt "中文/名字.txt" z/zz/deep.ini readme2.txt)
  [ "$2" = backward ] && names=(readme2.txt z/zz/deep.ini "中文/名字.txt" b/one.txt a/two.txt a/one.txt)
  local n
  for n in "${names[@]}"; do
    mkdir -p "$p/$(dirname "$n")"
    printf 'content of %s\n' "$n" >"$p/$n"
  done
  mkdir -p "$p/empty/inner"
  cp "$STUB" "$p/z/program.exe"
  chmod 444 "$p/a/two.txt"
}

# make_product <folder> <order>: a copy of the fixture whose files were
# created in that order.
make_product() {
  local to=$1 order=$2 f
  mkdir -p "$to"
  if [ "$order" = forward ]; then
    (cd "$FIXTURE" && find . -type d | sort) | while read -r f; do mkdir -p "$to/$f"; done
    (cd "$FIXTURE" && find . -type f | sort) | while read -r f; do cp "$FIXTURE/$f" "$to/$f"; done
  else
    (cd "$FIXTURE" && find . -type d | sort -r) | while read -r f; do mkdir -p "$to/$f"; done
    (cd "$FIXTURE" && find . -type f | sort -r) | while read -r f; do cp "$FIXTURE/$f" "$to/$f"; done
  fi
  sed -i 's/^payload_7z_switches = .*/payload_7z_switches = -mx=1 -mf=on -mqs/' "$to/product.ini"
  extra_payload "$to" "$order"
}

EPOCH=1700000000  # 2023-11-14 22:13:20 UTC
make_product "$WORK/first place" forward
make_product "$WORK/elsewhere/second" backward
# Every time in the second copy a day later than in the first, both after
# the epoch.
find "$WORK/first place" -exec touch -h -d '@1750000000' {} +
find "$WORK/elsewhere/second" -exec touch -h -d '@1750086400' {} +
mkdir -p "$WORK/out1" "$WORK/out two"
SOURCE_DATE_EPOCH=$EPOCH TZ=UTC "$PACK" --stub "$STUB" --product "$WORK/first place" --out "$WORK/out1/setup.exe" \
  >/dev/null 2>"$WORK/err1"
SOURCE_DATE_EPOCH=$EPOCH TZ=Asia/Shanghai "$PACK" --stub "$STUB" --product "$WORK/elsewhere/second" \
  --out "$WORK/out two/installer.exe" >/dev/null 2>"$WORK/err2"
if [ -f "$WORK/out1/setup.exe" ] && [ "$(sha "$WORK/out1/setup.exe")" = "$(sha "$WORK/out two/installer.exe")" ]; then
  pass "other folder, creation order, times after SOURCE_DATE_EPOCH, time zone and output name: same SHA-256"
else
  fail "other folder, creation order, times after SOURCE_DATE_EPOCH, time zone and output name: same SHA-256" \
    "$(cat "$WORK/err1" "$WORK/err2")"
fi

# The times stored are the epoch for newer files and a file's own for older
# ones, in the payload and in the skin.
touch -d '@1600000000' "$WORK/first place/payload/readme.txt" "$WORK/first place/skin/Images/dot.png"
SOURCE_DATE_EPOCH=$EPOCH TZ=UTC "$PACK" --stub "$STUB" --product "$WORK/first place" --out "$WORK/old.exe" >/dev/null
python3 "$HERE/peresource.py" "$WORK/old.exe" _7Z APP.7Z "$WORK/old.7z"
python3 "$HERE/peresource.py" "$WORK/old.exe" ZIP 249 "$WORK/old.zip"
times=$(TZ=UTC 7zz l -slt "$WORK/old.7z" | awk -F' = ' '/^Path/ {p = $2} /^Modified/ {print p " " $2}' |
  grep -E '^(readme.txt|a/one.txt|empty/inner) ')
expected=$(printf '%s\n' "readme.txt 2020-09-13 12:26:40.0000000" "a/one.txt 2023-11-14 22:13:20.0000000" \
  "empty/inner 2023-11-14 22:13:20.0000000")
if [ "$(sort <<<"$times")" = "$(sort <<<"$expected")" ]; then
  pass "payload times: the epoch for newer files and folders, an older file's own"
else
  fail "payload times: the epoch for newer files and folders, an older file's own" "$times"
fi
zip_times=$(zipinfo -T "$WORK/old.zip" | awk '/^-/ {print $NF " " $(NF - 1)}' | tr '\n' ' ')
if [ "$zip_times" = "Images/dot.png 20200913.122640 Layout/Layout.xml 20231114.221320 " ]; then
  pass "skin times: the same, as UTC"
else
  fail "skin times: the same, as UTC" "$zip_times"
fi

# Without SOURCE_DATE_EPOCH the files' own times go in: equal times, equal
# bytes; run at another moment, in another zone, as another user.
make_product "$WORK/third" backward
(cd "$WORK/first place" && find . -print0) | while IFS= read -r -d '' f; do
  touch -h -r "$WORK/first place/$f" "$WORK/third/$f"
done
TZ=UTC "$PACK" --stub "$STUB" --product "$WORK/first place" --out "$WORK/out1/plain.exe" >/dev/null
sleep 1
chmod -R a+rX "$WORK"
chmod a+w "$WORK/out two"
as_other=()
if [ "$(id -u)" = 0 ] && command -v setpriv >/dev/null; then
  as_other=(setpriv --reuid=65534 --regid=65534 --clear-groups)
fi
TZ=America/New_York "${as_other[@]}" "$PACK" --stub "$STUB" --product "$WORK/third" --out "$WORK/out two/plain.exe" \
  >/dev/null 2>"$WORK/err3"
if [ -f "$WORK/out two/plain.exe" ] && [ "$(sha "$WORK/out1/plain.exe")" = "$(sha "$WORK/out two/plain.exe")" ]; then
  pass "no SOURCE_DATE_EPOCH, same file times: same SHA-256${as_other:+ (the second run as user 65534)}"
else
  fail "no SOURCE_DATE_EPOCH, same file times: same SHA-256" "$(cat "$WORK/err3")"
fi
# ... and a file's time is part of what is packed.
touch -d '@1650000000' "$WORK/third/payload/readme.txt"
TZ=UTC "$PACK" --stub "$STUB" --product "$WORK/third" --out "$WORK/out1/changed.exe" >/dev/null
if [ "$(sha "$WORK/out1/plain.exe")" != "$(sha "$WORK/out1/changed.exe")" ]; then pass "another file time: other bytes"
else fail "another file time: other bytes"; fi

# A value that is not a number of seconds is a command-line error.
for bad in abc -5 1.5 " 17" 99999999999999 1e9; do
  err=$(SOURCE_DATE_EPOCH=$bad "$PACK" --stub "$STUB" --product "$WORK/third" --out "$WORK/out1/bad.exe" 2>&1 >/dev/null)
  rc=$?
  if [ $rc = 2 ] && [[ "$err" == *"SOURCE_DATE_EPOCH \"$bad\" is not a number of seconds since 1970-01-01 UTC"* ]] &&
     [ ! -e "$WORK/out1/bad.exe" ]; then
    pass "SOURCE_DATE_EPOCH=\"$bad\": exit code 2, named"
  else
    fail "SOURCE_DATE_EPOCH=\"$bad\": exit code 2, named" "exit $rc: $err"
  fi
done

finish
