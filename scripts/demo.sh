#!/usr/bin/env bash
# Builds the sample product's installer and installs it silently under Wine,
# then shows what the install left: files, registry values, shortcuts, the
# statistics calls and the product's own record of being started.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
OUT="${QUILL_BUILD:-$ROOT/build}"

"$ROOT/scripts/build.sh" "$OUT"

source "$ROOT/scripts/display.sh"
start_display
trap 'stop_display' EXIT

BIN="$OUT/x86_64/bin"
RUN="$OUT/x86_64/winerun"
winpath() { local p="$1"; echo "Z:${p//\//\\}"; }

# Run a copy: a silent install schedules the installer itself for deletion.
DEMO="$OUT/demo"
rm -rf "$DEMO"; mkdir -p "$DEMO"
cp "$BIN/quillon_setup.exe" "$DEMO/setup.exe"
export QUILL_STAT_RECORD="$(winpath "$DEMO/stat-calls.txt")"
APP='C:\Program Files\Harlow\Quillon'
# A fresh start record, so what is shown is this run's.
rm -f "$OUT/x86_64/wineprefix/drive_c/Program Files/Harlow/Quillon/started.txt"

echo "== installing the Quillon sample silently (x86_64 build under Wine)"
start=$(date +%s%N)
"$RUN" "$BIN/quillrun.exe" --timeout 120000 -- "$(winpath "$DEMO/setup.exe")" /InstallSlience true /InstallNormalQuillon 1
echo "== install took $(( ($(date +%s%N) - start) / 1000000 )) ms"
echo
"$RUN" "$BIN/quillshow.exe" --wait-file "$APP\\started.txt" \
  --files "$APP" \
  --reg HKCU 'SOFTWARE\Quillon' \
  --reg HKCU 'Software\Microsoft\Windows\CurrentVersion\Run' \
  --link '%COMMPROGRAMS%\Quillon\Quillon.lnk' \
  --link '%DESKTOP%\Quillon.lnk' \
  --url '%COMMPROGRAMS%\Quillon\Quillon 主页.url' \
  --starts "$APP\\started.txt"
echo "statistics calls the installer made:"
sed 's/^/  /' "$DEMO/stat-calls.txt" 2>/dev/null || echo "  (none recorded)"
echo
echo "== the shipped 32-bit installer: $OUT/i686/bin/quillon_setup.exe"
