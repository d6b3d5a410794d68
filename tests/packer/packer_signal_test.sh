#!/usr/bin/env bash
# A packer stopped by SIGTERM or SIGINT (Ctrl-C) while 7zz packs a payload:
# it must end by that signal, stop 7zz too, remove its temporary folder and
# leave the output file as it was.
# Usage: packer_signal_test.sh <quillpack> <stub.exe> <fixture product folder>
set -u
PACK=$1 STUB=$2 FIXTURE=$3
WORK=$(mktemp -d "${TMPDIR:-/tmp}/quillpack-signal.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
passed=0 failed=0

pass() { passed=$((passed + 1)); echo "ok   - $1"; }
fail() { failed=$((failed + 1)); echo "FAIL - $1"; [ -n "${2:-}" ] && sed 's/^/       /' <<<"$2"; }

# Random bytes do not compress: 7zz at its slowest level works on them for
# several seconds.
cp -r "$FIXTURE" "$WORK/p"
head -c 24000000 /dev/urandom >"$WORK/p/payload/big.bin"
sed -i 's/^payload_7z_switches = .*/payload_7z_switches = -mx=9 -mmt=1/' "$WORK/p/product.ini"
mkdir -p "$WORK/out"

# The 7zz process whose parent is $1, from /proc.
child_7zz() {
  local p
  for p in /proc/[0-9]*; do
    [ "$(cat "$p/comm" 2>/dev/null)" = 7zz ] && grep -q "^PPid:[[:space:]]*$1\$" "$p/status" 2>/dev/null &&
      { echo "${p#/proc/}"; return 0; }
  done
  return 1
}

stop_mid_pack() { # signal name, signal number
  local sig=$1 num=$2 name="SIG$1 while 7zz runs"
  local tmp="$WORK/tmp-$sig"
  mkdir -p "$tmp"
  printf previous >"$WORK/out/setup.exe"
  # A script's background job starts with SIGINT ignored; Ctrl-C reaches a
  # foreground packer, so the packer here starts with the defaults too.
  TMPDIR="$tmp" env --default-signal=INT,TERM,HUP "$PACK" --stub "$STUB" --product "$WORK/p" --out "$WORK/out/setup.exe" >/dev/null 2>"$WORK/err" &
  local pid=$! tool=""
  while kill -0 "$pid" 2>/dev/null; do
    tool=$(child_7zz "$pid") && break
    sleep 0.05
  done
  if [ -z "$tool" ]; then
    wait "$pid"
    fail "$name: the packer ended before 7zz was seen running" "$(cat "$WORK/err")"
    return
  fi
  kill -"$sig" "$pid"
  { wait "$pid"; } 2>/dev/null; local rc=$?
  local problems=()
  [ "$rc" = $((128 + num)) ] || problems+=("exit status $rc, expected $((128 + num)) (ended by the signal)")
  grep -q "stopped by SIG$sig; $WORK/out/setup.exe was not written" "$WORK/err" || problems+=("no message on stderr")
  [ "$(cat "/proc/$tool/comm" 2>/dev/null)" != 7zz ] || problems+=("7zz (process $tool) still runs")
  [ -z "$(ls -A "$tmp")" ] || problems+=("temporary files left: $(ls -A "$tmp" | tr '\n' ' ')")
  [ "$(cat "$WORK/out/setup.exe")" = previous ] || problems+=("the existing output changed")
  [ "$(ls "$WORK/out")" = setup.exe ] || problems+=("files left beside the output: $(ls "$WORK/out" | tr '\n' ' ')")
  if [ ${#problems[@]} -eq 0 ]; then pass "$name"
  else fail "$name" "$(printf '%s\n' "${problems[@]}" "stderr:" "$(cat "$WORK/err")")"; fi
  kill -KILL "$tool" 2>/dev/null
}

stop_mid_pack TERM 15
stop_mid_pack INT 2
stop_mid_pack HUP 1

echo "$passed passed, $failed failed"
[ $failed -eq 0 ]
