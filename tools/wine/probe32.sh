# Sourced by scripts/test.sh and scripts/demo.sh. probe_i686 <build-root>
# runs a tiny 32-bit program (wineprobe.exe of the i686 build) under the
# i686 build's Wine prefix. It fails, with PROBE_REASON set, where 32-bit
# Windows programs cannot run here: no 32-bit Wine, or a kernel without
# 32-bit support. On success PROBE_OUTPUT holds what the program printed.
PROBE_REASON=""
PROBE_OUTPUT=""
probe_i686() {
  local out="$1" rc=0
  if [ ! -x /usr/lib/wine/wine ]; then
    PROBE_REASON="no 32-bit Wine: /usr/lib/wine/wine is missing (Debian package wine32:i386, installed by scripts/bootstrap.sh)"
    return 1
  fi
  # The first run also makes the prefix (about 10 s).
  PROBE_OUTPUT=$(timeout 300 "$out/i686/winerun" "$out/i686/bin/wineprobe.exe" </dev/null 2>&1) || rc=$?
  if [ "$rc" != 0 ] || ! grep -q 'pointer=4 wow64=1 native=x86_64' <<<"$PROBE_OUTPUT"; then
    PROBE_REASON="the 32-bit probe program did not run as expected (exit $rc): $(tail -n 3 <<<"$PROBE_OUTPUT" | tr '\n' ' ')"
    if grep -qi 'exec format error' <<<"$PROBE_OUTPUT"; then
      PROBE_REASON="the kernel cannot run 32-bit programs (no IA-32 emulation); $PROBE_REASON"
    fi
    return 1
  fi
}

# The loud notice of a skipped or replaced i686 run.
probe_notice() { # what was not done
  {
    echo
    echo "!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!"
    echo "!!! 32-bit Windows programs cannot run on this machine: $1"
    echo "!!! Reason: $PROBE_REASON"
    echo "!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!"
    echo
  } >&2
}
