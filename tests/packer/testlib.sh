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
