#!/usr/bin/env bash
# A packer stopped by SIGTERM, SIGINT (Ctrl-C) or SIGHUP while it compresses
# a payload: it must end by that signal, leave no file behind (beside the
# output or in TMPDIR) and leave the output file as it was.
# Usage: packer_signal_test.sh <quillpack> <stub.exe> <fixture product folder>
set -u
PACK=$1 STUB=$2 FIXTURE=$3
source "$(dirname "${BASH_SOURCE[0]}")/testlib.sh"
make_work signal

# Several seconds of compressing to stop.
slow_product "$FIXTURE" 24000000 big.bin
mkdir -p "$WORK/out"

# Bytes the process $1 has read so far, from /proc.
bytes_read() { sed -n 's/^rchar: //p' "/proc/$1/io" 2>/dev/null; }

stop_mid_pack() { # signal name, signal number
  local sig=$1 num=$2 name="SIG$1 while compressing"
  local tmp="$WORK/tmp-$sig"
  mkdir -p "$tmp"
  printf previous >"$WORK/out/setup.exe"
  # A script's background job starts with SIGINT ignored; Ctrl-C reaches a
  # foreground packer, so the packer here starts with the defaults too.
  TMPDIR="$tmp" env --default-signal=INT,TERM,HUP "$PACK" --stub "$STUB" --product "$WORK/p" --out "$WORK/out/setup.exe" >/dev/null 2>"$WORK/err" &
  local pid=$! seen=""
  # Past the stub and the uninstaller (a few MB): into the payload's 24 MB.
  while kill -0 "$pid" 2>/dev/null; do
    [ "$(bytes_read "$pid")" -gt 12000000 ] 2>/dev/null && { seen=1; break; }
    sleep 0.05
  done
  if [ -z "$seen" ]; then
    wait "$pid"
    fail "$name: the packer ended before it was seen compressing the payload" "$(cat "$WORK/err")"
    return
  fi
  kill -"$sig" "$pid"
  { wait "$pid"; } 2>/dev/null; local rc=$?
  local problems=()
  [ "$rc" = $((128 + num)) ] || problems+=("exit status $rc, expected $((128 + num)) (ended by the signal)")
  grep -q "stopped by SIG$sig; $WORK/out/setup.exe was not written" "$WORK/err" || problems+=("no message on stderr")
  [ -z "$(ls -A "$tmp")" ] || problems+=("temporary files left: $(ls -A "$tmp" | tr '\n' ' ')")
  [ "$(cat "$WORK/out/setup.exe")" = previous ] || problems+=("the existing output changed")
  [ "$(ls "$WORK/out")" = setup.exe ] || problems+=("files left beside the output: $(ls "$WORK/out" | tr '\n' ' ')")
  if [ ${#problems[@]} -eq 0 ]; then pass "$name"
  else fail "$name" "$(printf '%s\n' "${problems[@]}" "stderr:" "$(cat "$WORK/err")")"; fi
}

stop_mid_pack TERM 15
stop_mid_pack INT 2
stop_mid_pack HUP 1

finish
