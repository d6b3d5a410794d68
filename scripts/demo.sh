#!/usr/bin/env bash
# Builds the sample product's installer and installs it silently under Wine,
# then shows what the install left: files, registry values, shortcuts, the
# statistics calls and the product's own record of being started.
# It installs with the shipped 32-bit setup.exe (the i686 build, the one a
# user downloads) under 32-bit Wine; QUILL_DEMO_ARCH=x86_64 uses the x86_64
# build instead (the developers' fast path under wine64).
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
OUT="${QUILL_BUILD:-$ROOT/build}"

"$ROOT/scripts/build.sh" "$OUT"

source "$ROOT/scripts/display.sh"
start_display
# The wineserver stays up a while after the last program; it must not
# outlive the display it was started on (a later run would find no screen).
trap 'stop_display; WINEPREFIX="$OUT/${ARCH:-x86_64}/wineprefix" /usr/lib/wine/wineserver -k 2>/dev/null || true' EXIT

ARCH="${QUILL_DEMO_ARCH:-i686}"
source "$ROOT/tools/wine/probe32.sh"
if [ "$ARCH" = i686 ] && ! probe_i686 "$OUT"; then
  probe_notice "the demo uses the x86_64 build instead of the shipped installer"
  ARCH=x86_64
fi
BIN="$OUT/$ARCH/bin"
RUN="$OUT/$ARCH/winerun"
# A 32-bit program sees the 32-bit program-files folder.
if [ "$ARCH" = i686 ]; then PF='Program Files (x86)'; WHAT="the shipped 32-bit installer (i686 build) under 32-bit Wine"
else PF='Program Files'; WHAT="the x86_64 build under wine64 (not the shipped installer)"; fi
winpath() { local p="$1"; echo "Z:${p//\//\\}"; }

# Run a copy: a silent install schedules the installer itself for deletion.
DEMO="$OUT/demo"
rm -rf "$DEMO"; mkdir -p "$DEMO"
cp "$BIN/quillon_setup.exe" "$DEMO/setup.exe"
export QUILL_STAT_RECORD="$(winpath "$DEMO/stat-calls.txt")"
APP="C:\\$PF\\Harlow\\Quillon"
# A fresh start record, so what is shown is this run's.
rm -f "$OUT/$ARCH/wineprefix/drive_c/$PF/Harlow/Quillon/started.txt"

echo "== installing the Quillon sample silently with $WHAT"
echo "== installer: $BIN/quillon_setup.exe"
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
echo "== installed with $WHAT: $BIN/quillon_setup.exe"
