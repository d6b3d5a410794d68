#!/usr/bin/env bash
# Unpack benchmark: our installer's silent install under Wine, against an
# NSIS 3 installer of the same files under the same Wine and against native
# `7zz x -mmt1` of our payload archive, for a payload of real Windows
# binaries and text and for generated payloads of several sizes. See
# bench/README.md.
#
# Settings (environment): BUILD (x86_64 build folder, default build/x86_64, as scripts/build.sh makes it),
# OUT (where payloads, installers and installs go, default $BUILD/bench-unpack),
# STUB and USTUB (installer and uninstaller stubs; default the build's, built first), PACKER (default: the build's QUILL_PACKER,
# else build/native/quillpack), SIZES (generated payloads in MB, default "50 150"; "50 150 500" the
# full set, "" none), MB (one generated size, the older setting), REAL_MB (the real payload, default 400;
# 0 leaves it out), SEED, RUNS (timed runs of each, best one counts), SWITCHES (payload_7z_switches
# for the packer; empty: its default). QUILL_WINEPREFIX: the Wine prefix (default $OUT/wineprefix; the bench
# sets Wine's null display driver in it).
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
BUILD="$(cd "${BUILD:-$ROOT/build/x86_64}" && pwd)"
OUT="${OUT:-$BUILD/bench-unpack}"
SEED="${SEED:-20240601}"
SIZES="${SIZES-${MB:-50 150}}"
REAL_MB="${REAL_MB:-400}"
RUNS="${RUNS:-3}"
SWITCHES="${SWITCHES:-}"
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
if [ -z "${STUB:-}" ] || [ -z "${USTUB:-}" ]; then
  ninja -C "$BUILD" -j2 brixsetup_stub brixuninst_stub >/dev/null
  STUB="${STUB:-$BUILD/bin/brixsetup_stub.exe}" USTUB="${USTUB:-$BUILD/bin/brixuninst_stub.exe}"
fi
mkdir -p "$OUT"
OUT="$(cd "$OUT" && pwd)"

x86_64-w64-mingw32-g++-posix -O2 -static -municode "$HERE/peakrun.cpp" -lpsapi -o "$OUT/peakrun.exe"
x86_64-w64-mingw32-g++-posix -O2 -static -municode "$HERE/writefloor.cpp" -o "$OUT/writefloor.exe"
# A Windows session always has its desktop. Headless Wine instead starts a
# desktop process for each program that looks for a window (FindWindowW) and
# ends it a moment after that program: about 80 ms a run that no user pays.
# So the bench's prefix uses Wine's null display driver, and the build's
# desktop keeper (a hidden window) holds that desktop up for all three
# programs alike while the bench runs.
export QUILL_WINEPREFIX="${QUILL_WINEPREFIX:-$OUT/wineprefix}"
if [ ! -f "$QUILL_WINEPREFIX/.bench-null-desktop" ]; then
  "$WINERUN" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null
  WINEPREFIX="$QUILL_WINEPREFIX" /usr/lib/wine/wineserver -k || true
  touch "$QUILL_WINEPREFIX/.bench-null-desktop"
fi
ninja -C "$BUILD" desktopkeeper >/dev/null
setsid "$WINERUN" "$BUILD/bin/desktopkeeper.exe" 7200 </dev/null >/dev/null 2>&1 &
KEEPER=$!
trap 'kill "$KEEPER" 2>/dev/null || true' EXIT
warm() { "$WINERUN" "$OUT/peakrun.exe" 'C:\windows\system32\cmd.exe' /c exit >/dev/null; }
warm

# Our payload archive as the installer reads it: resource _7Z/APP.7Z, its
# first two bytes exchanged back.
extract_archive() { python3 "$ROOT/tests/packer/peresource.py" "$1" _7Z APP.7Z "$2"; }

field() { sed -n "s/.*$1=\([0-9.]*\).*/\1/p" <<<"$2"; }

# bench_payload <name> <make-command...>: packs, times and checks one payload,
# appending its figures to $OUT/summary.
bench_payload() {
  local name=$1; shift
  local dir="$OUT/$name"
  local product="$dir/product" payload="$dir/product/payload"
  local stamp="$*"
  mkdir -p "$dir"
  if [ "$(cat "$dir/payload.stamp" 2>/dev/null)" != "$stamp" ]; then
    rm -f "$dir/payload.stamp"
    "$@" "$payload"
    echo "$stamp" > "$dir/payload.stamp"
  fi

  mkdir -p "$product/skin"
  cp "$ROOT/samples/quillon/icon.ico" "$product/"
  cp -r "$ROOT/samples/quillon/skin/." "$product/skin/"
  {
    echo "version = 1.0.0.0"
    echo "product_name = Quillon"
    [ -n "$SWITCHES" ] && echo "payload_7z_switches = $SWITCHES"
  } > "$product/product.ini"
  cat > "$product/config.lua" <<'EOF'
global_app_id = 147
global_main_app_name = "Quillon.exe"
global_enable_ss_install = true
global_startuseexplorer_level = false
global_product_name = "Quillon"
EOF
  cat > "$product/install.lua" <<'EOF'
function BrixSE_OnInstall()
  Lua_CreateDirectory(InstallPath)
  local ok = Lua_UnCompress7z("App.7z", InstallPath, false, nil,
    function(path, code) Lua_Logout("bench: cannot create " .. path .. " (" .. code .. ")\r\n") return 2 end)
  Lua_Logout("bench: unpack=" .. tostring(ok) .. "\r\n")
end
EOF
  echo 'function BrixSE_Uninstall() end' > "$product/uninstall.lua"

  # Packing and compressing take minutes: redone only when their inputs change.
  local ours_key
  fresh() { [ -f "$dir/$1" ] && [ "$(cat "$dir/$1.key" 2>/dev/null)" = "$2" ]; }
  ours_key="$stamp switches=$SWITCHES stub=$(stat -c %Y "$STUB" "$USTUB" | tr '\n' ,) packer=$(stat -c %Y "$PACKER")"
  if ! fresh ours_setup.exe "$ours_key"; then
    "$PACKER" --stub "$STUB" --uninstaller-stub "$USTUB" --product "$product" --out "$dir/ours_setup.exe" | sed -n 's/^quillpack: payload/bench: packed ours, payload/p'
    echo "$ours_key" > "$dir/ours_setup.exe.key"
  fi
  [ "$dir/payload.7z" -nt "$dir/ours_setup.exe" ] || extract_archive "$dir/ours_setup.exe" "$dir/payload.7z"

  cat > "$dir/nsis.nsi" <<EOF
Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
OutFile "$dir/nsis_setup.exe"
InstallDir "\$TEMP\\nsisbench"
RequestExecutionLevel user
SilentInstall silent
Section
  SetOutPath "\$INSTDIR"
  File /r "$payload/*"
SectionEnd
EOF
  if ! fresh nsis_setup.exe "$stamp"; then
    local t0
    t0=$(now_ms)
    makensis -V1 "$dir/nsis.nsi" >/dev/null
    echo "$stamp" > "$dir/nsis_setup.exe.key"
    say "made nsis_setup.exe in $(( $(now_ms) - t0 )) ms"
  fi

  local best_ours=999999 best_nsis=999999 best_7zz=999999 best_floor=999999 paired=""
  local ws_ours=0 priv_ours=0 ws_nsis=0 priv_nsis=0 r ours nsis native t0
  warm  # the wineserver may have ended while packing
  for run in $(seq 1 "$RUNS"); do
    rm -rf "$dir/inst_ours" "$dir/inst_nsis" "$dir/out_7zz" "$dir/run"
    mkdir -p "$dir/inst_ours" "$dir/run"
    # A copy per run: the installer schedules its own file for deletion at the
    # next restart, and a fresh wineserver counts as one.
    cp "$dir/ours_setup.exe" "$dir/run/setup.exe"
    sync
    r=$("$WINERUN" "$OUT/peakrun.exe" "$(winpath "$dir/run/setup.exe")" /InstallSlience true \
      /InstallPath "$(winpath "$dir/inst_ours")" | tr -d '\r')
    ours=$(field elapsed_ms "$r")
    ws_ours=$(field peak_working_set_mb "$r") priv_ours=$(field peak_pagefile_mb "$r")
    sync
    r=$("$WINERUN" "$OUT/peakrun.exe" "$(winpath "$dir/nsis_setup.exe")" /S "/D=$(winpath "$dir/inst_nsis")" | tr -d '\r')
    nsis=$(field elapsed_ms "$r")
    ws_nsis=$(field peak_working_set_mb "$r") priv_nsis=$(field peak_pagefile_mb "$r")
    sync
    t0=$(now_ms)
    7zz x -mmt1 -y -bso0 -bsp0 -o"$dir/out_7zz" "$dir/payload.7z"
    native=$(( $(now_ms) - t0 ))
    rm -rf "$dir/out_floor"; mkdir -p "$dir/out_floor"; sync
    r=$("$WINERUN" "$OUT/writefloor.exe" "$(winpath "$payload")" "$(winpath "$dir/out_floor")" | tr -d '\r')
    floor=$(field elapsed_ms "$r")
    rm -rf "$dir/out_floor"
    say "$name run $run: ours ${ours} ms, NSIS ${nsis} ms, 7zz ${native} ms, writing alone under Wine ${floor} ms"
    best_floor=$(python3 -c "print(min($best_floor, $floor))")
    best_ours=$(python3 -c "print(min($best_ours, $ours))")
    best_nsis=$(python3 -c "print(min($best_nsis, $nsis))")
    best_7zz=$(( native < best_7zz ? native : best_7zz ))
    # Ours against 7zz within one run: this machine's speed moves between runs.
    paired="$paired $(python3 -c "print($ours / $native)")"
  done
  local paired_median
  paired_median=$(python3 -c "import statistics, sys; print(statistics.median(map(float, sys.argv[1:])))" $paired)

  # Every installer must have written the same files.
  for got in "$dir/inst_ours/Quillon" "$dir/inst_nsis" "$dir/out_7zz"; do
    diff -r -q "$payload" "$got" >/dev/null || { echo "bench: $got differs from the payload" >&2; exit 1; }
  done
  rm -rf "$dir/inst_ours" "$dir/inst_nsis" "$dir/out_7zz" "$dir/run"

  local bytes files
  bytes=$(find "$payload" -type f -printf '%s\n' | awk '{s += $1} END {print s + 0}')
  files=$(find "$payload" -type f | wc -l)
  # The largest dictionary of the archive's blocks: "LZMA2:26" is 2^26
  # bytes, "LZMA2:50m" 50 MiB.
  local dict
  dict=$(7zz l -slt "$dir/payload.7z" | sed -n 's/^Method = .*LZMA2\{0,1\}:\([0-9]*[km]\{0,1\}\).*/\1/p' |
    python3 -c "import sys; print(max([0] + [int(w[:-1]) << (20 if w[-1] == 'm' else 10) if w[-1] in 'km' else 1 << int(w) for w in sys.stdin.read().split()]))")
  echo "$name $bytes $files $(stat -c %s "$dir/ours_setup.exe") $(stat -c %s "$dir/nsis_setup.exe")" \
    "$(stat -c %s "$dir/payload.7z") $dict $best_ours $best_nsis $best_7zz $best_floor $priv_ours $ws_ours $priv_nsis $ws_nsis $paired_median" \
    >> "$OUT/summary"
  RUNS="$RUNS" python3 - $(tail -n 1 "$OUT/summary") <<'EOF'
import os
import sys
name = sys.argv[1]
payload, files, ours_exe, nsis_exe, archive, dictionary = map(int, sys.argv[2:8])
ours, nsis, native, floor, priv, ws, priv_nsis, ws_nsis, paired = map(float, sys.argv[8:])
mb = lambda b: b / 1e6
print("bench: %s: %.1f MB in %d files; all three outputs match the payload" % (name, mb(payload), files))
print("  size    ours setup.exe %7.2f MB   NSIS %7.2f MB   ours/NSIS %.3f   (our payload archive %.2f MB, %.1f %%)"
      % (mb(ours_exe), mb(nsis_exe), ours_exe / nsis_exe, mb(archive), 100.0 * archive / payload))
print("  size    target: ours <= NSIS (aim 0.95): %s" % ("met" if ours_exe <= nsis_exe else "MISSED"))
print("  time    ours %7.0f ms   NSIS %7.0f ms   7zz x -mmt1 %7.0f ms   ours/NSIS %.2f (target <= 0.50: %s)"
      "   ours/7zz %.2f (target <= 1.10: %s)"
      % (ours, nsis, native, ours / nsis, "met" if ours <= 0.5 * nsis else "MISSED",
         ours / native, "met" if ours <= 1.1 * native else "MISSED"))
print("  paired  ours/7zz within each run, the median of %s runs: %.2f" % (os.environ["RUNS"], paired))
print("  floor   writing the same files alone under Wine, no decoding: %.0f ms (native 7zz pays no Wine)" % floor)
limit = dictionary / 2**20 + 32
print("  memory  ours peak private %6.1f MB (working set %6.1f MB; target < dictionary %.0f MiB + 32 = %.0f: %s)"
      "   NSIS peak private %6.1f MB (working set %6.1f MB)"
      % (priv, ws, dictionary / 2**20, limit, "met" if priv < limit else "MISSED", priv_nsis, ws_nsis))
EOF
}

: > "$OUT/summary"
if [ "$REAL_MB" != 0 ]; then
  bench_payload "real$REAL_MB" python3 "$HERE/realdata.py" --megabytes "$REAL_MB"
fi
for size in $SIZES; do
  bench_payload "generated$size" python3 "$HERE/gendata.py" --seed "$SEED" --megabytes "$size"
done

python3 - "$OUT/summary" "$RUNS" "${SWITCHES:-the packer default}" <<'EOF'
import sys
rows = [line.split() for line in open(sys.argv[1])]
print("bench: summary, best of %s runs, our payload switches: %s" % (sys.argv[2], sys.argv[3]))
print("  %-13s %8s | %9s %9s %6s | %8s %8s %8s %8s %6s %6s %8s | %9s %9s %9s" % (
    "payload", "MB", "ours MB", "NSIS MB", "ratio", "ours ms", "NSIS ms", "7zz ms", "floor ms", "/NSIS", "/7zz",
    "/7zz med", "ours priv", "dict+32", "NSIS priv"))
for r in rows:
    name = r[0]
    payload, files, ours_exe, nsis_exe, archive, dictionary = map(int, r[1:7])
    ours, nsis, native, floor, priv, ws, priv_nsis, ws_nsis, paired = map(float, r[7:])
    print("  %-13s %8.1f | %9.2f %9.2f %6.3f | %8.0f %8.0f %8.0f %8.0f %6.2f %6.2f %8.2f | %6.1f MB %6.0f MB %6.1f MB" % (
        name, payload / 1e6, ours_exe / 1e6, nsis_exe / 1e6, ours_exe / nsis_exe, ours, nsis, native, floor,
        ours / nsis, ours / native, paired, priv, dictionary / 2**20 + 32, priv_nsis))
EOF
