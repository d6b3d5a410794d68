#!/usr/bin/env bash
# The packer's command line against bad input: every failure must exit
# non-zero, say what is wrong on stderr and leave the output file as it was.
# Usage: packer_errors_test.sh <quillpack> <stub.exe> <fixture product folder>
set -u
PACK=$1 STUB=$2 FIXTURE=$3
WORK=$(mktemp -d "${TMPDIR:-/tmp}/quillpack-test.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
passed=0 failed=0

pass() { passed=$((passed + 1)); echo "ok   - $1"; }
fail() { failed=$((failed + 1)); echo "FAIL - $1"; [ -n "${2:-}" ] && sed 's/^/       /' <<<"$2"; }

# A fresh copy of the fixture to break.
product() { rm -rf "$WORK/p"; cp -r "$FIXTURE" "$WORK/p"; }

# expect_failure <name> <text stderr must contain> <packer args...>
# The output file holds "previous" before the run and must still hold it.
expect_failure() {
  local name=$1 expected=$2; shift 2
  printf previous >"$WORK/out/setup.exe"
  local err rc
  err=$("$PACK" "$@" 2>&1 >/dev/null); rc=$?
  if [ $rc -eq 0 ]; then fail "$name: exit code 0" "$err"; return; fi
  if [[ "$err" != *"$expected"* ]]; then fail "$name: stderr lacks \"$expected\"" "$err"; return; fi
  if [ "$(cat "$WORK/out/setup.exe")" != previous ]; then fail "$name: existing output changed"; return; fi
  if [ "$(ls "$WORK/out")" != setup.exe ]; then fail "$name: files left behind: $(ls "$WORK/out" | tr '\n' ' ')"; return; fi
  pass "$name"
}

pack() { expect_failure "$@" --stub "$STUB" --product "$WORK/p" --out "$WORK/out/setup.exe"; }
mkdir -p "$WORK/out"

# --- command line ---------------------------------------------------------
if "$PACK" --help | grep -q -- "--stub <stub.exe>"; then pass "--help prints the usage"; else fail "--help"; fi
expect_failure "no arguments" "are all required"
expect_failure "unknown argument" "unknown argument \"--product-folder\"" --product-folder x
expect_failure "option without value" "--out needs a value" --stub "$STUB" --product "$FIXTURE" --out

# --- product folder -------------------------------------------------------
expect_failure "missing product folder" "$WORK/nothing: product folder not found" \
  --stub "$STUB" --product "$WORK/nothing" --out "$WORK/out/setup.exe"
product; rm "$WORK/p/install.lua"
pack "missing chunk file" "$WORK/p/install.lua: missing from the product folder"
product; rm -r "$WORK/p/payload"
pack "missing payload folder" "payload: folder missing"
product; printf 'x = 1\nfunction f()\n  return = 2\nend\n' >"$WORK/p/install.lua"
pack "chunk with a syntax error" "$WORK/p/install.lua:3:"
product; printf 'local t = {\n' >"$WORK/p/uninstall.lua"
pack "unfinished chunk" "$WORK/p/uninstall.lua:2:"

# --- product.ini ----------------------------------------------------------
for bad in 2.0.0 2.0.0.18.1 2.0.0.65536 2.0.x.18 "2..0.18" "" "-1.0.0.0"; do
  product; sed -i "s/^version = .*/version = $bad/" "$WORK/p/product.ini"
  pack "bad version \"$bad\"" "product.ini:2: version \"$bad\" is not four dot-separated numbers"
done
product; sed -i 's/^version = /verison = /' "$WORK/p/product.ini"
pack "unknown key" "product.ini:2: unknown key \"verison\""
product; sed -i '/^version = /d' "$WORK/p/product.ini"
pack "missing version" "the required key \"version\" is missing"
product; echo "company = Twice" >>"$WORK/p/product.ini"
pack "key set twice" "\"company\" is set twice (first on line 4)"
product; echo "just words" >>"$WORK/p/product.ini"
pack "line without =" "expected \"key = value\""
product; sed -i 's/^execution_level = .*/execution_level = admin/' "$WORK/p/product.ini"
pack "bad execution level" "execution_level \"admin\" must be"
product; echo "stat_host = evil.example/path?x=1" >>"$WORK/p/product.ini"
pack "host name with a path" "stat_host \"evil.example/path?x=1\" is not a host name"

# --- icon, skin, payload ----------------------------------------------------
product; echo "not an icon" >"$WORK/p/icon.ico"
pack "icon that is no icon" "icon.ico: not a usable icon file"
product; rm -r "$WORK/p/skin"/*
pack "empty skin folder" "the skin folder holds no files"
product; sed -i 's/^payload_7z_switches = .*/payload_7z_switches = -mx=banana/' "$WORK/p/product.ini"
pack "7zz refusing its switches" "7zz failed"

# --- stub -----------------------------------------------------------------
product
expect_failure "stub missing" "$WORK/no-stub.exe: No such file" \
  --stub "$WORK/no-stub.exe" --product "$WORK/p" --out "$WORK/out/setup.exe"
expect_failure "stub that is no executable" "not a Windows executable" \
  --stub "$WORK/p/product.ini" --product "$WORK/p" --out "$WORK/out/setup.exe"
head -c 2000 "$STUB" >"$WORK/short.exe"
expect_failure "truncated stub" "stub:" --stub "$WORK/short.exe" --product "$WORK/p" --out "$WORK/out/setup.exe"
expect_failure "output folder missing" "does not exist" \
  --stub "$STUB" --product "$WORK/p" --out "$WORK/none/setup.exe"

# --- what succeeds --------------------------------------------------------
if "$PACK" --stub "$STUB" --product "$WORK/p" --out "$WORK/packed.exe" >/dev/null 2>"$WORK/err" &&
   [ "$(head -c 2 "$WORK/packed.exe")" = MZ ] && [ -x "$WORK/packed.exe" ]; then
  pass "fixture packs"
else
  fail "fixture packs" "$(cat "$WORK/err")"
fi
expect_failure "stub that already has resources" "already has a resource directory" \
  --stub "$WORK/packed.exe" --product "$WORK/p" --out "$WORK/out/setup.exe"
printf previous >"$WORK/out/setup.exe"
if "$PACK" --stub "$STUB" --product "$WORK/p" --out "$WORK/out/setup.exe" >/dev/null 2>"$WORK/err" &&
   cmp -s "$WORK/out/setup.exe" "$WORK/packed.exe" && [ "$(ls "$WORK/out")" = setup.exe ]; then
  pass "an existing output is replaced, alone in its folder"
else
  fail "an existing output is replaced" "$(cat "$WORK/err")"
fi
product; rm -r "$WORK/p/payload"/*; rm -f "$WORK/p/payload"/.[!.]*
if "$PACK" --stub "$STUB" --product "$WORK/p" --out "$WORK/empty.exe" >/dev/null 2>"$WORK/err"; then
  pass "an empty payload folder packs"
else
  fail "an empty payload folder packs" "$(cat "$WORK/err")"
fi

echo "$passed passed, $failed failed"
[ $failed -eq 0 ]
