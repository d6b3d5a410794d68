#!/usr/bin/env bash
# Installer window benchmark: the sample product's setup.exe (x86_64 build)
# in window mode under Xvfb, at each scale: process start to first paint,
# the UI thread's longest gap during the install and a progress tick's CPU.
# Prints figures; nothing here fails on a slow machine.
#
#   bench/window/run.sh        (after scripts/build.sh)
# OUT: the build root (default ./build); DPIS: the scales (default "96 192");
# RUNS / TICK_RUNS: pinged and quiet installs per scale (default 5 and 3).
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
OUT="${OUT:-$ROOT/build}"
DPIS="${DPIS:-96 192}"
RUNS="${RUNS:-5}"
TICK_RUNS="${TICK_RUNS:-3}"
BUILD="$OUT/x86_64"
if ! log=$(cmake --build "$BUILD" --target windowbench quillon_setup 2>&1); then
  echo "$log" >&2
  exit 1
fi

# A prefix of its own: the DPI changes and server restarts must not reach a
# test run in the build's prefix, and the installs leave the product behind.
export QUILL_WINEPREFIX="$BUILD/bench-window-prefix"
RUN="$BUILD/winerun"
set_dpi() { # LogPixels, then a fresh server that reads it
  "$RUN" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f </dev/null >/dev/null 2>&1
  WINEPREFIX="$QUILL_WINEPREFIX" /usr/lib/wine/wineserver -k 2>/dev/null || true
  WINEPREFIX="$QUILL_WINEPREFIX" /usr/lib/wine/wineserver -w 2>/dev/null || true
}

source "$ROOT/scripts/display.sh"
start_display
# The wineserver must not outlive the display it was started on.
trap 'set_dpi 96 || true; stop_display' EXIT

status=0
for dpi in $DPIS; do
  set_dpi "$dpi"
  echo "== LogPixels $dpi"
  # Wine's and the installer's own messages go to a log, the figures to the terminal.
  "$RUN" "$BUILD/bin/windowbench.exe" --runs "$RUNS" --tick-runs "$TICK_RUNS" \
    </dev/null 2>>"$BUILD/bench-window.log" || status=1
  echo
done
exit "$status"
