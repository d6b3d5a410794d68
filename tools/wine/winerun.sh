#!/usr/bin/env bash
# Runs a Windows program under the build's own Wine prefix.
#
# ctest waits until a test's output pipe closes, and Wine's background
# processes (wineserver, services) inherit it. So the server and services are
# started here, under a lock and with every inherited descriptor closed, and
# only then is the program exec'd.
set -u
: "${QUILL_WINEPREFIX:?QUILL_WINEPREFIX must name the Wine prefix}"
export WINEPREFIX="$QUILL_WINEPREFIX"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
export LC_ALL="${QUILL_LOCALE:-zh_CN.UTF-8}"
# The i686 build runs under the 32-bit loader (Debian's wine32:i386); its
# prefix is still a 64-bit one, so its programs run under WoW64.
case "${QUILL_WINE_ARCH:-x86_64}" in
  x86_64) WINE=/usr/lib/wine/wine64 ;;
  *) WINE=/usr/lib/wine/wine ;;
esac
if [ ! -x "$WINE" ]; then
  echo "winerun: $WINE is missing (for ${QUILL_WINE_ARCH:-x86_64} programs)" >&2
  exit 127
fi
SERVER=/usr/lib/wine/wineserver
PERSIST="${QUILL_WINESERVER_PERSIST:-300}"

mkdir -p "$(dirname "$WINEPREFIX")"
(
  flock 9
  if [ ! -f "$WINEPREFIX/.quill-ready" ]; then
    rm -rf "$WINEPREFIX"
    "$WINE" wineboot -i </dev/null >/dev/null 2>&1 9>&-
    # Wine draws title bars itself when no window manager runs (Xvfb).
    "$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f </dev/null >/dev/null 2>&1 9>&-
    "$WINE" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
      /v Tahoma /t REG_MULTI_SZ /d 'wqy-microhei.ttc,WenQuanYi Micro Hei' /f </dev/null >/dev/null 2>&1 9>&-
    "$SERVER" -w
    touch "$WINEPREFIX/.quill-ready"
  fi
  if [ ! -f "$WINEPREFIX/.quill-settings-2" ]; then
    # Without a window manager, Wine waits for one whenever a managed window
    # is hidden (about 2 s per message box); unmanaged windows do not.
    "$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1 9>&-
    touch "$WINEPREFIX/.quill-settings-2"
  fi
  if "$SERVER" -p"$PERSIST" </dev/null >/dev/null 2>&1 9>&-; then
    # A fresh server: bring up Wine's services detached from our pipes.
    "$WINE" cmd /c exit </dev/null >/dev/null 2>&1 9>&-
  fi
  # Hold Wine's desktop process open from a detached program, so it is not
  # started (and its descriptors inherited) by a test.
  keeper="${QUILL_DESKTOP_KEEPER:-}"
  pidfile="$WINEPREFIX/.quill-keeper.pid"
  if [ -n "${DISPLAY:-}" ] && [ -n "$keeper" ] && [ -f "$keeper" ] &&
     ! { [ -f "$pidfile" ] && kill -0 "$(cat "$pidfile")" 2>/dev/null; }; then
    setsid "$WINE" "$keeper" "${QUILL_KEEPER_SECONDS:-1800}" </dev/null >/dev/null 2>&1 9>&- &
    echo $! > "$pidfile"
  fi
) 9>"$WINEPREFIX.lock"

exec "$WINE" "$@"
