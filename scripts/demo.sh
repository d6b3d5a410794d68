#!/usr/bin/env bash
# Builds the sample product's installer and installs it silently under Wine,
# then shows what the install left: files, registry values, shortcuts, the
# statistics calls and the product's own record of being started. Then it
# installs once more in window mode at 100 % and at 150 %, clicking through
# the window, and saves a screenshot of each view under <build>/demo/window.
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
# LogPixels goes back to 96 first when the window part changed it.
trap 'restore_dpi; stop_display; WINEPREFIX="$OUT/${ARCH:-x86_64}/wineprefix" /usr/lib/wine/wineserver -k 2>/dev/null || true' EXIT
DPI_CHANGED=
restore_dpi() { if [ -n "$DPI_CHANGED" ]; then set_dpi 96 || true; fi; }

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

# The window: the same installer started without arguments, clicked through
# as a person would (quillui drives it through its accessibility interface),
# once per scale, with a screenshot of each view.
PREFIX="$OUT/$ARCH/wineprefix"
WIN="$DEMO/window"
mkdir -p "$WIN"
cp "$BIN/quillon_setup.exe" "$WIN/setup.exe"
export QUILL_STAT_RECORD="$(winpath "$WIN/stat-calls.txt")"
set_dpi() { # LogPixels; a fresh wineserver reads it, and no installer survives it
  "$RUN" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f </dev/null >/dev/null 2>&1
  WINEPREFIX="$PREFIX" /usr/lib/wine/wineserver -k 2>/dev/null || true
  WINEPREFIX="$PREFIX" /usr/lib/wine/wineserver -w 2>/dev/null || true
}
ui() { # quillui command...
  "$RUN" "$BIN/quillui.exe" CDlgInstall "$@" </dev/null || { echo "window demo: quillui $* failed" >&2; return 1; }
}
window_install() { # scale in percent, LogPixels
  local scale="$1" pid
  DPI_CHANGED=1
  set_dpi "$2"
  # A fresh product folder: the window installs into the default one.
  rm -rf "$PREFIX/drive_c/$PF/Harlow/Quillon"
  echo "== window mode at $scale % (LogPixels $2)"
  "$RUN" "$(winpath "$WIN/setup.exe")" </dev/null >>"$WIN/setup-$scale.log" 2>&1 &
  pid=$!
  ui wait 快速安装 60
  sleep 0.5  # the controls answer before the window has painted
  ui shot "$(winpath "$WIN/init-$scale.png")"
  ui click 快速安装
  # The install view lasts at least the 2 s the install worker waits first.
  ui waitrole 'progress bar' 20
  sleep 0.5
  ui shot "$(winpath "$WIN/install-$scale.png")"
  ui wait 立即体验 120
  sleep 0.5
  ui shot "$(winpath "$WIN/complete-$scale.png")"
  ui click 立即体验
  # The installer ends once it has started the product (which ends by itself).
  for _ in $(seq 1 300); do kill -0 "$pid" 2>/dev/null || break; sleep 0.2; done
  if kill -0 "$pid" 2>/dev/null; then echo "window demo: the installer is still running after 60 s" >&2; return 1; fi
  for view in init install complete; do echo "   $WIN/$view-$scale.png"; done
}
echo
echo "== installing the Quillon sample in window mode with $WHAT, screenshots of each view:"
window_install 100 96
window_install 150 144
set_dpi 96
DPI_CHANGED=
echo "== screenshots saved in $WIN (PNG; any image viewer opens them)"
