#!/usr/bin/env bash
# The payload archive's size and packing time for sets of payload switches,
# written by the packer, next to 7zz given the same switches and NSIS's
# `/SOLID lzma` installer of the same files: the figures behind the packer's
# default switches (tools/packer/README.md, "Default switches").
#
# switches.sh <payload folder> ['<switches>' ...]
#
# Without switch sets it measures the levers listed below. Each set is
# packed by quillpack as a product's payload_7z_switches (its APP.7Z is
# measured; the time is the payload's from its summary: listing, compressing
# and the decoder's check), and by `7zz a -t7z <switches> ./*` in the folder
# where 7zz takes them. Settings: PACKER (default build/native/quillpack),
# STUB (default build/x86_64/bin/brixsetup_stub.exe), OUT (scratch folder,
# default a temporary one), SEVENZIP=0 to leave 7zz out, NSIS=0 to leave
# NSIS out.
set -euo pipefail
[ $# -ge 1 ] && [ -d "$1" ] || { echo "usage: switches.sh <payload folder> ['<switches>' ...]" >&2; exit 2; }
PAYLOAD="$(cd "$1" && pwd)"; shift
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
PACKER="${PACKER:-$ROOT/build/native/quillpack}"
STUB="${STUB:-$ROOT/build/x86_64/bin/brixsetup_stub.exe}"
[ -x "$PACKER" ] && [ -f "$STUB" ] || { echo "switches: build the packer and the stub first (PACKER, STUB)" >&2; exit 1; }
if [ $# -eq 0 ]; then
  set -- \
    "-mx=5 -ms=8m" \
    "-mx=5 -mf=off" \
    "-mx=5 -mf=on" \
    "-mx=5 -mf=off -mqs" \
    "-mx=5 -mf=on -mqs" \
    "-mx=5 -m0=LZMA2:d=64m -mf=off -mqs" \
    "-mx=7 -m0=LZMA2:d=64m -mf=off -mqs" \
    "-mx=9 -m0=LZMA2:d=64m:fb=273 -mf=off -mqs -ms=128m" \
    "-mx=9 -m0=LZMA2:d=64m:fb=273 -mf=on -mqs -ms=512m" \
    "-mx=9 -m0=LZMA2:d=64m:fb=273 -mf=BCJ -mqs -ms=512m" \
    "-mx=9 -m0=LZMA2:d=64m:fb=273 -mf=off -mqs -ms=512m"
fi
if [ -z "${OUT:-}" ]; then
  OUT="$(mktemp -d "${TMPDIR:-/tmp}/switches.XXXXXX")"
  trap 'rm -rf "$OUT"' EXIT
fi
mkdir -p "$OUT"
now_ms() { date +%s%3N; }

bytes=$(find "$PAYLOAD" -type f -printf '%s\n' | awk '{s += $1} END {print s}')
mb() { awk -v b="$1" 'BEGIN {printf "%.2f", b / 1e6}'; }
pct() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.1f", 100 * a / b}'; }
secs() { awk -v ms="$1" 'BEGIN {printf "%.1f", ms / 1000}'; }
printf 'payload: %s, %s MB in %d files\n' "$PAYLOAD" "$(mb "$bytes")" "$(find "$PAYLOAD" -type f | wc -l)"

if [ "${NSIS:-1}" != 0 ]; then
  cat >"$OUT/nsis.nsi" <<EOF
Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
OutFile "$OUT/nsis_setup.exe"
InstallDir "\$TEMP\\switches"
RequestExecutionLevel user
SilentInstall silent
Section
  SetOutPath "\$INSTDIR"
  File /r "$PAYLOAD/*"
SectionEnd
EOF
  t0=$(now_ms)
  makensis -V1 "$OUT/nsis.nsi" >/dev/null
  t=$(( $(now_ms) - t0 ))
  size=$(stat -c %s "$OUT/nsis_setup.exe")
  printf '%-52s %9s MB  %5s %%  %6s s  (whole installer)\n' "NSIS /SOLID lzma" "$(mb "$size")" \
    "$(pct "$size" "$bytes")" "$(secs "$t")"
fi

# A product around the payload (the folder itself, through a link: the
# packer looks through the payload folder's own link).
product="$OUT/product"
mkdir -p "$product/skin"
cp "$ROOT/samples/quillon/icon.ico" "$product/"
cp -r "$ROOT/samples/quillon/skin/." "$product/skin/"
echo 'global_product_name = "Bench"' >"$product/config.lua"
echo 'function BrixSE_OnInstall() end' >"$product/install.lua"
echo 'function BrixSE_Uninstall() end' >"$product/uninstall.lua"
ln -sfn "$PAYLOAD" "$product/payload"

printf '%-52s %12s  %5s   %7s  %s\n' "switches" "packer" "" "time" "(7zz)  blocks: the packer's methods"
for switches in "$@"; do
  printf 'version = 1.0.0.0\npayload_7z_switches = %s\n' "$switches" >"$product/product.ini"
  if ! summary=$("$PACKER" --stub "$STUB" --product "$product" --out "$OUT/setup.exe" 2>"$OUT/err"); then
    printf '%-52s refused: %s\n' "$switches" "$(head -c 200 "$OUT/err")"
    continue
  fi
  python3 "$ROOT/tests/packer/peresource.py" "$OUT/setup.exe" _7Z APP.7Z "$OUT/payload.7z"
  size=$(stat -c %s "$OUT/payload.7z")
  t=$(sed -n 's/^quillpack: payload .* in \([0-9.]*\) s$/\1/p' <<<"$summary")
  methods=$(7zz l -slt "$OUT/payload.7z" | sed -n 's/^Method = \(..*\)/\1/p' | sed '1d' | sort -u | paste -sd '|')
  blocks=$(7zz l -slt "$OUT/payload.7z" | sed -n 's/^Blocks = //p')
  theirs=""
  if [ "${SEVENZIP:-1}" != 0 ]; then
    rm -f "$OUT/7zz.7z"
    # shellcheck disable=SC2086  # the switches are words
    if (cd "$PAYLOAD" && 7zz a -t7z -bso0 -bsp0 $switches "$OUT/7zz.7z" ./* >/dev/null 2>&1); then
      theirs="(7zz $(mb "$(stat -c %s "$OUT/7zz.7z")") MB)  "
    fi
  fi
  printf '%-52s %9s MB  %5s %%  %6s s  %s%s blocks: %s\n' "$switches" "$(mb "$size")" "$(pct "$size" "$bytes")" \
    "$t" "$theirs" "${blocks:-?}" "$methods"
done
rm -f "$OUT/payload.7z" "$OUT/7zz.7z" "$OUT/setup.exe"
