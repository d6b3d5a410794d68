#!/usr/bin/env bash
# Toolkit benchmark: creation to first paint, full repaint, progress step
# and private bytes of the benchmark skin's window at every scale. Prints
# figures; nothing here fails on a slow machine.
#
#   bench/toolkit/run.sh            (after scripts/build.sh)
# BUILD: the x86_64 build folder (default build/x86_64); DPIS: the scales.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
BUILD="${BUILD:-$ROOT/build/x86_64}"
DPIS="${DPIS:-96 120 144 168 192}"
cmake --build "$BUILD" --target toolkitbench >/dev/null

# A screen large enough for the window at 200 % (1280 x 1000).
XVFB_PID=
for n in $(seq 121 160); do
  [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
  Xvfb ":$n" -screen 0 2560x1600x24 -nolisten tcp >/dev/null 2>&1 &
  XVFB_PID=$!
  for _ in $(seq 1 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
  export DISPLAY=":$n"
  break
done
[ -n "$XVFB_PID" ] || { echo "no free display number" >&2; exit 1; }
trap 'WINEPREFIX="$BUILD/bench-wineprefix" /usr/lib/wine/wineserver -k 2>/dev/null || true; kill "$XVFB_PID" 2>/dev/null || true' EXIT

# A prefix of its own: Wine's desktop takes the screen size of the display
# its server first saw, and the tests' server runs on a small one.
export QUILL_WINEPREFIX="$BUILD/bench-wineprefix"
"$BUILD/winerun" cmd /c exit >/dev/null 2>&1 </dev/null || true
for dpi in $DPIS; do
  "$BUILD/winerun" "$BUILD/bin/toolkitbench.exe" --skin "$BUILD/bin/benchskin.zip" --dpi "$dpi" </dev/null
done
