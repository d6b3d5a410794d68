#!/usr/bin/env bash
# Builds everything and runs the whole test suite twice under Wine: on the
# x86_64 build under wine64 and on the i686 build (the shipped installer)
# under 32-bit Wine, each with its own prefix and warm wineserver, with a
# virtual display for the tests that show windows. Arguments go to both
# ctest runs; both must pass.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
OUT="${QUILL_BUILD:-$ROOT/build}"
ARCHS=(x86_64 i686)

t0=$SECONDS
"$ROOT/scripts/build.sh" "$OUT"
echo "== build took $((SECONDS - t0)) s"

source "$ROOT/scripts/display.sh"
start_display
cleanup() {
  stop_display
  local arch
  for arch in "${ARCHS[@]}"; do
    WINEPREFIX="$OUT/$arch/wineprefix" /usr/lib/wine/wineserver -k 2>/dev/null || true
  done
}
trap cleanup EXIT

# A tiny 32-bit program runs first: where it cannot start (no 32-bit Wine,
# or a kernel without 32-bit support) the i686 run is skipped, loudly.
source "$ROOT/tools/wine/probe32.sh"

declare -A RESULT TIME COUNTS
run_suite() { # arch, ctest arguments...
  local arch=$1 start=$SECONDS rc=0
  shift
  echo "== $arch build: the whole suite under $([ "$arch" = x86_64 ] && echo wine64 || echo 'wine (32-bit, WoW64)')"
  # Warm the prefix once so the first tests do not pay for creating it.
  "$OUT/$arch/winerun" cmd /c exit >/dev/null 2>&1 </dev/null || true
  ctest --test-dir "$OUT/$arch" --output-on-failure -j "${QUILL_TEST_JOBS:-2}" "$@" 2>&1 |
    tee "$OUT/$arch/ctest.log" || rc=$?
  RESULT[$arch]=$rc
  TIME[$arch]=$((SECONDS - start))
  # "100% tests passed, 0 tests failed out of 412"
  COUNTS[$arch]=$(grep -Eo '[0-9]+ tests failed out of [0-9]+' "$OUT/$arch/ctest.log" | tail -n 1 || true)
}

PROBE_OK=0
if probe_i686 "$OUT"; then
  PROBE_OK=1
  echo "== i686 probe: $PROBE_OUTPUT"
else
  probe_notice "the i686 suite will be SKIPPED"
fi

run_suite x86_64 "$@"
if [ "$PROBE_OK" = 1 ]; then
  run_suite i686 "$@"
else
  RESULT[i686]=skipped
  probe_notice "the i686 SUITE WAS SKIPPED; only the x86_64 build was tested, not the shipped installer"
fi

# Every parser of untrusted bytes, fuzzed for a few seconds each.
echo "== fuzz smoke"
FUZZ_RESULT=0
QUILL_BUILD="$OUT" "$ROOT/scripts/fuzz.sh" --smoke || FUZZ_RESULT=$?

echo
echo "== summary"
passed=0 failed=0 status=0
echo "  fuzz smoke: exit $FUZZ_RESULT"
[ "$FUZZ_RESULT" = 0 ] || status=1
for arch in "${ARCHS[@]}"; do
  if [ "${RESULT[$arch]}" = skipped ]; then
    echo "  $arch: SKIPPED ($PROBE_REASON)"
    continue
  fi
  echo "  $arch: ${COUNTS[$arch]:-no ctest summary}, exit ${RESULT[$arch]}, ${TIME[$arch]} s"
  if [[ "${COUNTS[$arch]}" =~ ^([0-9]+)\ tests\ failed\ out\ of\ ([0-9]+)$ ]]; then
    failed=$((failed + BASH_REMATCH[1]))
    passed=$((passed + BASH_REMATCH[2] - BASH_REMATCH[1]))
  fi
  [ "${RESULT[$arch]}" = 0 ] || status=1
done
echo "  total time $((SECONDS - t0)) s"
echo "tests: $passed passed, $failed failed"
exit $status
