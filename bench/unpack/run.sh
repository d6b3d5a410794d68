#!/usr/bin/env bash
# Unpack benchmark: our installer's silent install of a ~150 MB payload under
# Wine, against an NSIS 3 installer of the same files under the same Wine and
# against native `7zz x -mmt1` of our payload archive. See bench/README.md.
#
# Settings (environment): BUILD (x86_64 build folder, default build/x86_64, as scripts/build.sh makes it),
# PACKER (default: the build's QUILL_PACKER, else build/native/quillpack),
# SEED, MB (payload size), RUNS (timed runs of each, best one counts),
# SWITCHES (payload_7z_switches for the packer; empty: its default).
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
BUILD="$(cd "${BUILD:-$ROOT/build/x86_64}" && pwd)"
OUT="$BUILD/bench-unpack"
SEED="${SEED:-20240601}"
MB="${MB:-150}"
RUNS="${RUNS:-3}"
SWITCHES="${SWITCHES--mx=5 -ms=8m}"
HERE="$ROOT/bench/unpack"
WINERUN="$BUILD/winerun"

say() { echo "bench: $*"; }
winpath() { local p="${1//\//\\}"; echo "Z:$p"; }
now_ms() { date +%s%3N; }

PACKER="${PACKER:-$(sed -n 's/^QUILL_PACKER:FILEPATH=//p' "$BUILD/CMakeCache.txt" 2>/dev/null)}"
[ -x "${PACKER:-}" ] || PACKER="$ROOT/build/native/quillpack"
[ -x "$PACKER" ] || { echo "bench: no packer; build it first (scripts/build.sh)" >&2; exit 1; }
[ -x "$WINERUN" ] || { echo "bench: $BUILD is not a configured x86_64 build" >&2; exit 1; }
if ! command -v makensis >/dev/null; then
  say "installing nsis"
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq nsis >/dev/null
fi
ninja -C "$BUILD" -j2 brixsetup_stub >/dev/null
mkdir -p "$OUT"

# --- payload and the two installers ------------------------------------------
PRODUCT="$OUT/product"
PAYLOAD="$PRODUCT/payload"
STAMP="seed=$SEED mb=$MB"
if [ "$(cat "$OUT/payload.stamp" 2>/dev/null)" != "$STAMP" ]; then
  rm -f "$OUT/payload.stamp"
  python3 "$HERE/gendata.py" "$PAYLOAD" --seed "$SEED" --megabytes "$MB"
  echo "$STAMP" > "$OUT/payload.stamp"
fi

mkdir -p "$PRODUCT/skin"
cp "$ROOT/samples/quillon/icon.ico" "$PRODUCT/"
cp -r "$ROOT/samples/quillon/skin/." "$PRODUCT/skin/"
{
  echo "version = 1.0.0.0"
  echo "product_name = Quillon"
  [ -n "$SWITCHES" ] && echo "payload_7z_switches = $SWITCHES"
} > "$PRODUCT/product.ini"
cat > "$PRODUCT/config.lua" <<'EOF'
global_app_id = 147
global_main_app_name = "Quillon.exe"
global_enable_ss_install = true
global_startuseexplorer_level = false
global_product_name = "Quillon"
EOF
cat > "$PRODUCT/install.lua" <<'EOF'
function BrixSE_OnInstall()
  Lua_CreateDirectory(InstallPath)
  local ok = Lua_UnCompress7z("App.7z", InstallPath, false, nil,
    function(path, code) Lua_Logout("bench: cannot create " .. path .. " (" .. code .. ")\r\n") return 2 end)
  Lua_Logout("bench: unpack=" .. tostring(ok) .. "\r\n")
end
EOF
echo 'function BrixSE_Uninstall() end' > "$PRODUCT/uninstall.lua"

# Packing and compressing take minutes: redone only when their inputs change.
key() { echo "$STAMP switches=$SWITCHES $*"; }
fresh() { [ -f "$OUT/$1" ] && [ "$(cat "$OUT/$1.key" 2>/dev/null)" = "$2" ]; }
OURS_KEY="$(key "stub=$(stat -c %Y "$BUILD/bin/brixsetup_stub.exe") packer=$(stat -c %Y "$PACKER")")"
if ! fresh ours_setup.exe "$OURS_KEY"; then
  t0=$(now_ms)
  "$PACKER" --stub "$BUILD/bin/brixsetup_stub.exe" --product "$PRODUCT" --out "$OUT/ours_setup.exe" >/dev/null
  echo "$OURS_KEY" > "$OUT/ours_setup.exe.key"
  say "packed ours_setup.exe in $(( $(now_ms) - t0 )) ms"
fi

cat > "$OUT/nsis.nsi" <<EOF
Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
OutFile "$OUT/nsis_setup.exe"
InstallDir "\$TEMP\\nsisbench"
RequestExecutionLevel user
SilentInstall silent
Section
  SetOutPath "\$INSTDIR"
  File /r "$PAYLOAD/*"
SectionEnd
EOF
if ! fresh nsis_setup.exe "$STAMP"; then
  t0=$(now_ms)
  makensis -V1 "$OUT/nsis.nsi" >/dev/null
  echo "$STAMP" > "$OUT/nsis_setup.exe.key"
  say "made nsis_setup.exe in $(( $(now_ms) - t0 )) ms"
fi

# The payload archive exactly as the packer makes it, for native 7zz.
if ! fresh payload.7z "$(key)"; then
  rm -f "$OUT/payload.7z"
  (cd "$PAYLOAD" && 7zz a -t7z -bso0 -bsp0 ${SWITCHES:--mx=5 -ms=8m} "$OUT/payload.7z" ./*)
  key > "$OUT/payload.7z.key"
fi
say "payload $(du -sm "$PAYLOAD" | cut -f1) MB in $(find "$PAYLOAD" -type f | wc -l) files;" \
  "archive $(( $(stat -c %s "$OUT/payload.7z") / 1048576 )) MB; ours_setup.exe" \
  "$(( $(stat -c %s "$OUT/ours_setup.exe") / 1048576 )) MB, nsis_setup.exe $(( $(stat -c %s "$OUT/nsis_setup.exe") / 1048576 )) MB"

# --- timed runs ------------------------------------------------------------------
x86_64-w64-mingw32-g++-posix -O2 -static -municode "$HERE/peakrun.cpp" -lpsapi -o "$OUT/peakrun.exe"
"$WINERUN" "$OUT/peakrun.exe" 'C:\windows\system32\cmd.exe' /c exit >/dev/null  # warm wineserver

field() { sed -n "s/.*$1=\([0-9.]*\).*/\1/p" <<<"$2"; }
best_ours=999999 best_nsis=999999 best_7zz=999999 peak_ours=0 pagefile_ours=0 peak_nsis=0
for run in $(seq 1 "$RUNS"); do
  rm -rf "$OUT/inst_ours" "$OUT/inst_nsis" "$OUT/out_7zz" "$OUT/run"
  mkdir -p "$OUT/inst_ours" "$OUT/run"
  # A copy per run: the installer schedules its own file for deletion at the
  # next restart, and a fresh wineserver counts as one.
  cp "$OUT/ours_setup.exe" "$OUT/run/setup.exe"
  sync
  r=$("$WINERUN" "$OUT/peakrun.exe" "$(winpath "$OUT/run/setup.exe")" /InstallSlience true \
    /InstallPath "$(winpath "$OUT/inst_ours")" | tr -d '\r')
  ours=$(field elapsed_ms "$r")
  peak_ours=$(field peak_working_set_mb "$r") pagefile_ours=$(field peak_pagefile_mb "$r")
  sync
  r=$("$WINERUN" "$OUT/peakrun.exe" "$(winpath "$OUT/nsis_setup.exe")" /S "/D=$(winpath "$OUT/inst_nsis")" | tr -d '\r')
  nsis=$(field elapsed_ms "$r")
  peak_nsis=$(field peak_working_set_mb "$r")
  sync
  t0=$(now_ms)
  7zz x -mmt1 -y -bso0 -bsp0 -o"$OUT/out_7zz" "$OUT/payload.7z"
  native=$(( $(now_ms) - t0 ))
  say "run $run: ours ${ours} ms, NSIS ${nsis} ms, 7zz ${native} ms"
  best_ours=$(python3 -c "print(min($best_ours, $ours))")
  best_nsis=$(python3 -c "print(min($best_nsis, $nsis))")
  best_7zz=$(( native < best_7zz ? native : best_7zz ))
done

# --- every installer must have written the same files ------------------------------
for got in "$OUT/inst_ours/Quillon" "$OUT/inst_nsis" "$OUT/out_7zz"; do
  diff -r -q "$PAYLOAD" "$got" >/dev/null || { echo "bench: $got differs from the payload" >&2; exit 1; }
done
say "all three outputs match the payload"

python3 - "$best_ours" "$best_nsis" "$best_7zz" "$peak_ours" "$pagefile_ours" "$peak_nsis" <<'EOF'
import sys
ours, nsis, native, peak, pagefile, peak_nsis = map(float, sys.argv[1:])
print("bench: best of the runs")
print("  ours (silent install under Wine)   %7.0f ms   peak working set %.0f MB, peak pagefile %.0f MB" % (ours, peak, pagefile))
print("  NSIS 3 (/S under Wine)             %7.0f ms   peak working set %.0f MB" % (nsis, peak_nsis))
print("  7zz x -mmt1 (native)               %7.0f ms" % native)
print("  ours / NSIS = %.2f  (target <= 0.60: %s)" % (ours / nsis, "met" if ours <= 0.6 * nsis else "MISSED"))
print("  ours / 7zz  = %.2f  (target <= 1.30: %s)" % (ours / native, "met" if ours <= 1.3 * native else "MISSED"))
EOF
