#!/usr/bin/env bash
# The payload archive's size and packing time for sets of 7zz switches, next
# to NSIS's `/SOLID lzma` installer of the same files: the figures behind the
# packer's default switches (tools/packer/README.md, "The payload").
#
# switches.sh <payload folder> ['<switches>' ...]
#
# Without switch sets it measures the levers listed below. Each archive is
# made the way the packer makes it (`7zz a -t7z <switches> ./*` in the
# folder); the methods 7zz chose are printed, since a chain the installer's
# streaming decoder does not take (BCJ2, two filters) matters as much as the
# size. Settings: OUT (scratch folder, default a temporary one), NSIS=0 to
# leave NSIS out.
set -euo pipefail
[ $# -ge 1 ] && [ -d "$1" ] || { echo "usage: switches.sh <payload folder> ['<switches>' ...]" >&2; exit 2; }
PAYLOAD="$(cd "$1" && pwd)"; shift
if [ $# -eq 0 ]; then
  set -- \
    "-mx=5 -ms=8m" \
    "-mx=5" \
    "-mx=5 -mf=off" \
    "-mx=5 -mf=BCJ" \
    "-mx=5 -mqs" \
    "-mx=5 -mf=BCJ -mqs" \
    "-mx=5 -mf=off -mqs" \
    "-mx=5 -m0=LZMA2:d=64m" \
    "-mx=5 -m0=LZMA2:d=64m -mf=BCJ -mqs" \
    "-mx=5 -m0=LZMA2:d=64m -mf=BCJ -mqs -ms=128m" \
    "-mx=5 -m0=LZMA2:d=64m -mf=BCJ -mqs -ms=64m" \
    "-mx=5 -m0=LZMA2:d=64m -mf=off -mqs" \
    "-mx=7 -m0=LZMA2:d=64m -mf=BCJ -mqs" \
    "-mx=9 -m0=LZMA2:d=64m -mf=BCJ -mqs" \
    "-mx=7 -m0=LZMA2:d=64m -mf=off -mqs" \
    "-mx=7 -m0=LZMA2:d=64m -mf=off -mqs -ms=128m" \
    "-mx=9 -m0=LZMA2:d=64m:fb=273 -mf=off -mqs"
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
  printf '%-48s %9s MB  %5s %%  %6s s  (whole installer)\n' "NSIS /SOLID lzma" "$(mb "$size")" \
    "$(pct "$size" "$bytes")" "$(secs "$t")"
fi

# Wall time, and the CPU time (user + system), which other load on the
# machine disturbs less.
TIMEFORMAT='%R %U %S'
for switches in "$@"; do
  rm -f "$OUT/payload.7z"
  # shellcheck disable=SC2086  # the switches are words
  times=$( { time (cd "$PAYLOAD" && 7zz a -t7z -bso0 -bsp0 $switches "$OUT/payload.7z" ./*) ; } 2>&1 | tail -n 1)
  read -r wall user sys <<<"$times"
  t=$(awk -v w="$wall" 'BEGIN {printf "%d", w * 1000}')
  cpu=$(awk -v u="$user" -v s="$sys" 'BEGIN {printf "%.1f", u + s}')
  size=$(stat -c %s "$OUT/payload.7z")
  methods=$(7zz l -slt "$OUT/payload.7z" | sed -n 's/^Method = \(..*\)/\1/p' | sed '1d' | sort -u | paste -sd '|')
  blocks=$(7zz l -slt "$OUT/payload.7z" | sed -n 's/^Blocks = //p')
  printf '%-48s %9s MB  %5s %%  %6s s  cpu %6s s  %s blocks: %s\n' "$switches" "$(mb "$size")" \
    "$(pct "$size" "$bytes")" "$(secs "$t")" "$cpu" "${blocks:-?}" "$methods"
done
rm -f "$OUT/payload.7z"
