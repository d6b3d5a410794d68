#!/bin/sh
# Runs a Windows program with the display at another DPI: Wine reads the
# scale once per wineserver, so the server is restarted on the way in and
# on the way out (back to 96).
# Usage: at_dpi.sh <winerun> <wine prefix> <dpi> <program> [arguments...]
set -u
run="$1"; prefix="$2"; dpi="$3"; shift 3
restart() { WINEPREFIX="$prefix" /usr/lib/wine/wineserver -k 2>/dev/null; WINEPREFIX="$prefix" /usr/lib/wine/wineserver -w 2>/dev/null; }
set_dpi() {
  "$run" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1
  restart
}
trap 'set_dpi 96' EXIT
set_dpi "$dpi"
"$run" "$@"
