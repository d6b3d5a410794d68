#!/usr/bin/env bash
# Builds the libFuzzer targets in fuzz/ (clang, AddressSanitizer,
# UndefinedBehaviorSanitizer) and runs each from its seeds in fuzz/corpus/.
# Usage: scripts/fuzz.sh [seconds]   each target for that long (default 180)
#        scripts/fuzz.sh --smoke     each target for a few seconds (the test run)
#        scripts/fuzz.sh --coverage  line coverage of the code under test by the
#                                    seeds and the inputs kept so far (no fuzzing)
# Environment: QUILL_BUILD (build root, default ./build; this uses its fuzz/
# folder), QUILL_FUZZ_JOBS (targets run at once, default 1),
# QUILL_FUZZ_TARGETS (names to run, default all), QUILL_JOBS (build jobs).
# New inputs are kept in <build>/fuzz/work/<target>/, never in the seeds; an
# input that fails is saved as <build>/fuzz/crashes/<target>-<kind>-<hash>,
# and the script exits 1 naming it.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
OUT="${QUILL_BUILD:-$ROOT/build}/fuzz"
SECONDS_EACH=180 COVERAGE=0
case "${1:-}" in
  --smoke) SECONDS_EACH=4 ;;
  --coverage) COVERAGE=1 ;;
  "") ;;
  *[!0-9]*) echo "usage: scripts/fuzz.sh [seconds | --smoke | --coverage]" >&2; exit 2 ;;
  *) SECONDS_EACH=$1 ;;
esac

"$ROOT/scripts/bootstrap.sh"

if [ "$COVERAGE" = 1 ]; then
  COV="$OUT-coverage"
  cmake -S "$ROOT/fuzz" -B "$COV" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILL_FUZZ_COVERAGE=ON \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
  cmake --build "$COV" -j "${QUILL_JOBS:-2}"
  read -r -a TARGETS <<<"${QUILL_FUZZ_TARGETS:-$(tr '\n' ' ' <"$COV/fuzz_targets.txt")}"
  mkdir -p "$COV/profiles"
  echo "== lines, functions and regions of the code under test reached by the kept inputs"
  printf '%-12s %8s  %-18s %-18s %-18s\n' target inputs lines functions regions
  for t in "${TARGETS[@]}"; do
    mkdir -p "$OUT/work/$t"
    rm -f "$COV/profiles/$t".*
    LLVM_PROFILE_FILE="$COV/profiles/$t.profraw" "$COV/fuzz_$t" -runs=0 "$OUT/work/$t" "$ROOT/fuzz/corpus/$t" \
      >"$COV/profiles/$t.log" 2>&1 || true
    llvm-profdata merge -sparse "$COV/profiles/$t.profraw" -o "$COV/profiles/$t.profdata"
    # "TOTAL  regions missed cover%  functions missed cover%  lines missed cover% ..."
    llvm-cov report "$COV/fuzz_$t" -instr-profile="$COV/profiles/$t.profdata" \
      -ignore-filename-regex="^$ROOT/fuzz/|^/usr/" >"$COV/profiles/$t.report"
    inputs=$(( $(ls "$OUT/work/$t" | wc -l) + $(ls "$ROOT/fuzz/corpus/$t" | wc -l) ))
    awk -v t="$t" -v n="$inputs" '/^TOTAL/ {
      printf "%-12s %8s  %-18s %-18s %-18s\n", t, n, ($8 - $9) "/" $8 " (" $10 ")", ($5 - $6) "/" $5 " (" $7 ")", ($2 - $3) "/" $2 " (" $4 ")"
    }' "$COV/profiles/$t.report"
  done
  echo "(per file: $COV/profiles/<target>.report)"
  exit 0
fi
cmake -S "$ROOT/fuzz" -B "$OUT" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$OUT" -j "${QUILL_JOBS:-2}"

read -r -a TARGETS <<<"${QUILL_FUZZ_TARGETS:-$(tr '\n' ' ' <"$OUT/fuzz_targets.txt")}"
mkdir -p "$OUT/logs" "$OUT/crashes"

run_target() { # name
  local t=$1 dict=()
  mkdir -p "$OUT/work/$t"
  [ -f "$ROOT/fuzz/dict/$t.dict" ] && dict=(-dict="$ROOT/fuzz/dict/$t.dict")
  # The first corpus folder takes the new inputs; the seeds stay as they are.
  "$OUT/fuzz_$t" -max_total_time="$SECONDS_EACH" -print_final_stats=1 -timeout=20 -rss_limit_mb=2048 \
    -artifact_prefix="$OUT/crashes/$t-" "${dict[@]}" "$OUT/work/$t" "$ROOT/fuzz/corpus/$t" \
    >"$OUT/logs/$t.log" 2>&1
}

echo "== fuzzing ${#TARGETS[@]} targets, $SECONDS_EACH s each, ${QUILL_FUZZ_JOBS:-1} at a time"
declare -A RC
pids=()
for t in "${TARGETS[@]}"; do
  while [ "$(jobs -rp | wc -l)" -ge "${QUILL_FUZZ_JOBS:-1}" ]; do wait -n || true; done
  rm -f "$OUT/logs/$t.rc"
  ( rc=0; run_target "$t" || rc=$?; echo $rc >"$OUT/logs/$t.rc" ) &
done
wait

failed=0 passed=0
printf '%-12s %12s %10s %8s %8s %8s  %s\n' target executions "exec/s" cov features corpus result
for t in "${TARGETS[@]}"; do
  log="$OUT/logs/$t.log" rc=$(cat "$OUT/logs/$t.rc" 2>/dev/null || echo 1)
  execs=$(grep -Eo 'stat::number_of_executed_units: +[0-9]+' "$log" | grep -Eo '[0-9]+$' || true)
  speed=$(grep -Eo 'stat::average_exec_per_sec: +[0-9]+' "$log" | grep -Eo '[0-9]+$' || true)
  # The last status line: "#123 DONE cov: 456 ft: 789 corp: 12/3456b ..."
  status=$(grep -E '^#[0-9]+.*cov: ' "$log" | tail -n 1 || true)
  cov=$(grep -o 'cov: [0-9]*' <<<"$status" | grep -o '[0-9]*$' || true)
  ft=$(grep -o 'ft: [0-9]*' <<<"$status" | grep -o '[0-9]*$' || true)
  corp=$(grep -o 'corp: [0-9]*' <<<"$status" | grep -o '[0-9]*$' || true)
  if [ "$rc" = 0 ]; then result=ok; passed=$((passed + 1))
  else result="FAILED (exit $rc, see $log)"; failed=$((failed + 1)); fi
  printf '%-12s %12s %10s %8s %8s %8s  %s\n' "$t" "${execs:--}" "${speed:--}" "${cov:--}" "${ft:--}" "${corp:--}" "$result"
done
for t in "${TARGETS[@]}"; do
  [ "$(cat "$OUT/logs/$t.rc" 2>/dev/null || echo 1)" = 0 ] && continue
  echo
  echo "== $t failed; the end of its log:"
  grep -E 'ERROR|SUMMARY|check failed|runtime error|Test unit written|artifact' "$OUT/logs/$t.log" | head -n 20 || true
  echo "   reproduce: $OUT/fuzz_$t <the crash file above>"
done
echo "fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
