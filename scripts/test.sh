#!/usr/bin/env bash
# Builds everything and runs the whole test suite under Wine (x86_64 build),
# with a virtual display for the tests that show windows.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
OUT="${QUILL_BUILD:-$ROOT/build}"

"$ROOT/scripts/build.sh" "$OUT"

source "$ROOT/scripts/display.sh"
start_display
trap 'stop_display; QUILL_WINEPREFIX="$OUT/x86_64/wineprefix" WINEPREFIX="$OUT/x86_64/wineprefix" /usr/lib/wine/wineserver -k 2>/dev/null || true' EXIT

# Warm the prefix once so the first tests do not pay for creating it.
"$OUT/x86_64/winerun" cmd /c exit >/dev/null 2>&1 </dev/null || true
ctest --test-dir "$OUT/x86_64" --output-on-failure -j "${QUILL_TEST_JOBS:-2}" "$@"
