#!/usr/bin/env bash
# Builds the sample product's installer and installs it silently under Wine,
# printing what the installer traced.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
OUT="${QUILL_BUILD:-$ROOT/build}"

"$ROOT/scripts/build.sh" "$OUT"

source "$ROOT/scripts/display.sh"
start_display
trap 'stop_display' EXIT

BIN="$OUT/x86_64/bin"
RUN="$OUT/x86_64/winerun"
# Run a copy: a silent install schedules the installer itself for deletion.
DEMO="$OUT/demo"
mkdir -p "$DEMO"
cp "$BIN/quillon_setup.exe" "$DEMO/setup.exe"
echo "== installing the Quillon sample silently (x86_64 build under Wine)"
WINPATH="Z:${DEMO//\//\\}\\setup.exe"
"$RUN" "$BIN/quillrun.exe" --timeout 120000 -- "$WINPATH" /InstallSlience true
echo "== 32-bit installer built: $OUT/i686/bin/quillon_setup.exe"
