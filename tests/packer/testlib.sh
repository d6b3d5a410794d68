# What every packer test script shares: counting passes and failures, and
# paths as Wine and the scripts need them. Sourced, not run.
passed=0 failed=0
pass() { passed=$((passed + 1)); echo "ok   - $1"; }
# fail <name> [<details>]: the details indented below the name.
fail() { failed=$((failed + 1)); echo "FAIL - $1"; [ -n "${2:-}" ] && sed 's/^/       /' <<<"$2"; }
# The totals; the script's status is failure when anything failed.
finish() { echo "$passed passed, $failed failed"; [ $failed -eq 0 ]; }
# An absolute path for a file that exists (empty stays empty).
abs() { [ -z "$1" ] || echo "$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"; }
# A Linux path as Wine names it.
win() { local p="${1//\//\\}"; echo "Z:$p"; }
# A scratch folder in $WORK, removed when the script ends (parts a case
# made read-only included).
make_work() {
  WORK=$(mktemp -d "${TMPDIR:-/tmp}/quillpack-$1.XXXXXX")
  trap 'chmod -R u+w "$WORK" 2>/dev/null; rm -rf "$WORK"' EXIT
}
# A copy of product folder $1 in $WORK/p with $2 random bytes in its payload
# (file $3) at the slowest level on one thread: seconds of compressing.
slow_product() {
  cp -r "$1" "$WORK/p"
  head -c "$2" /dev/urandom >"$WORK/p/payload/$3"
  sed -i 's/^payload_7z_switches = .*/payload_7z_switches = -mx=9 -mmt=1/' "$WORK/p/product.ini"
}
