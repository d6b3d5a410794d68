#!/usr/bin/env bash
# Progress while packing: on a terminal (a pseudo-terminal from `script`)
# the payload's percent and rate are redrawn in place on one line, which is
# cleared before the summary; piped, only the summary is printed.
# Usage: packer_progress_test.sh <quillpack> <stub.exe> <fixture product folder>
set -u
PACK=$1 STUB=$2 FIXTURE=$3
source "$(dirname "${BASH_SOURCE[0]}")/testlib.sh"
make_work progress

slow_product "$FIXTURE" 6000000 random.bin
command=$(printf '%q ' "$PACK" --stub "$STUB" --product "$WORK/p" --out "$WORK/setup.exe")

if ! command -v script >/dev/null; then
  echo "SKIP - no script(1) to make a terminal"
else
  script -qc "$command" /dev/null >"$WORK/tty.txt" 2>&1
  tty=$(tr -d '\r' <"$WORK/tty.txt")
  # Lines drawn with \r: "quillpack: packing the payload:  52 % (3.1 of 6.0 MB, 3.1 MB/s)".
  drawn=$(grep -o 'quillpack: packing the payload: *[0-9]* % ([0-9.]* of 6\.0 MB, [0-9.]* MB/s)' <<<"$tty" | wc -l)
  if [ "$drawn" -ge 2 ]; then pass "on a terminal: percent and rate, redrawn ($drawn times)"
  else fail "on a terminal: percent and rate, redrawn" "$(cat -A "$WORK/tty.txt")"; fi
  # Redrawn in place: carriage returns, no new line between the drawings.
  if [ "$(grep -c 'packing the payload' "$WORK/tty.txt")" = 1 ] && grep -q $'\r' "$WORK/tty.txt"; then
    pass "on a terminal: one line, redrawn in place"
  else
    fail "on a terminal: one line, redrawn in place" "$(cat -A "$WORK/tty.txt")"
  fi
  # The line is cleared (blanks over it) before the summary.
  if grep -qE $'\r +\rquillpack: payload 6\\.0 MB -> ' "$WORK/tty.txt"; then pass "on a terminal: cleared before the summary"
  else fail "on a terminal: cleared before the summary" "$(cat -A "$WORK/tty.txt" | tail -c 400)"; fi
  # At most about four drawings a second.
  seconds=$(grep -o 'quillpack: payload .* in [0-9.]* s' <<<"$tty" | sed 's/.* in \([0-9.]*\) s$/\1/')
  if awk -v n="$drawn" -v s="$seconds" 'BEGIN {exit !(s > 0 && n <= 4 * s + 2)}'; then
    pass "on a terminal: $drawn drawings in $seconds s"
  else
    fail "on a terminal: at most four drawings a second" "$drawn drawings in $seconds s"
  fi
fi

"$PACK" --stub "$STUB" --product "$WORK/p" --out "$WORK/setup.exe" >"$WORK/out.txt" 2>"$WORK/err.txt" </dev/null
lines=$(sed -e 's/[0-9.]* s$/T s/' -e 's/([0-9]* bytes/(N bytes/' -e 's/([0-9.]* %)/(R %)/' -e "s|$WORK|W|" \
  -e 's/stub code [0-9.]* MB -> [0-9.]* KB/stub code S -> P/' "$WORK/out.txt")
expected=$'quillpack: payload 6.0 MB -> 6.0 MB (R %) in T s\nquillpack: stub code S -> P (R %)\nquillpack: wrote W/setup.exe (N bytes, 14 resources) in T s'
if [ ! -s "$WORK/err.txt" ] && [ "$lines" = "$expected" ]; then pass "piped: only the summary"
else fail "piped: only the summary" "$(cat -A "$WORK/out.txt" "$WORK/err.txt")"; fi

# --plain-stub: the stub as linked, so no stub code line and no section of
# compressed code; the same payload, so the installer grows by the code.
"$PACK" --plain-stub --stub "$STUB" --product "$WORK/p" --out "$WORK/plain.exe" >"$WORK/plain.txt" 2>&1 </dev/null
if ! grep -q 'stub code' "$WORK/plain.txt" && grep -q '^quillpack: wrote ' "$WORK/plain.txt" &&
   ! grep -qa '\.qlpack' "$WORK/plain.exe" && grep -qa '\.qlpack' "$WORK/setup.exe" &&
   [ "$(stat -c %s "$WORK/plain.exe")" -gt "$(( $(stat -c %s "$WORK/setup.exe") + 500000 ))" ]; then
  pass "--plain-stub: the stub's code as linked"
else
  fail "--plain-stub: the stub's code as linked" "$(cat "$WORK/plain.txt"; ls -l "$WORK"/*.exe)"
fi

finish
