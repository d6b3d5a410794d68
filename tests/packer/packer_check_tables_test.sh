#!/usr/bin/env bash
# The tables quillpack --check shares with the installer stay the ones the
# installer uses: names the host reads or calls go through the shared
# headers (a literal in the host would bypass the check), and the packer's
# table of toolkit classes matches the toolkit's builder and classes.
# Usage: packer_check_tables_test.sh <repository root>
set -u
ROOT=$1
SETUP=$ROOT/setup/brixsetup
source "$(dirname "${BASH_SOURCE[0]}")/testlib.sh"
# Host sources, the shared headers left out.
host() { grep -rn --include='*.cpp' --include='*.h' "$@" "$SETUP" | grep -v -e '/configglobals.h:' -e '/hooknames.h:' -e '/skincontrols.h:'; }

# --- configuration globals -------------------------------------------------
found=$(host -E '(Read|Write)Global[A-Za-z]*\([^,]*,[[:space:]]*"')
[ -z "$found" ] && pass "the host reads and writes globals only by the names of configglobals.h" \
  || fail "globals named by a literal in the host" "$found"
found=$(host -E '"global_[A-Za-z0-9_]+"')
[ -z "$found" ] && pass "no global_ name spelt out in the host" || fail "global_ literal in the host" "$found"
# Every constant the host reads is in the configuration table, apart from
# the flag the uninstall hooks set as their result.
table=$(sed -n '/kConfigGlobals\[\] = {/,/^};/p' "$SETUP/brixinstaller/configglobals.h")
missing=
for k in $(host -o -E 'ReadGlobal[A-Za-z]*\([^;]*globals::k[A-Za-z]+' | grep -o -E 'globals::k[A-Za-z]+' | sed 's/globals:://' | sort -u); do
  [ "$k" = kUninstallFailed ] && continue
  grep -q -E "\{$k," <<<"$table" || missing+=" $k"
done
[ -z "$missing" ] && pass "every configuration global the host reads is in the table the check notes from" \
  || fail "read by the host, missing from kConfigGlobals:$missing"

# --- hooks -------------------------------------------------------------------
found=$(host -E '"BrixSE_')
[ -z "$found" ] && pass "hooks called only by the names of hooknames.h" || fail "hook name spelt out in the host" "$found"
called=$(grep -o -E 'RunHook\(hooks::k[A-Za-z]+\)' "$SETUP/brixinstaller/installmgr.cpp" | sed -E 's/.*::(k[A-Za-z]+)\)/\1/' | sort)
listed=$(sed -n '/kInstallHooks\[\]/,/kUninstallHooks\[\].*;/p' "$SETUP/brixinstaller/hooknames.h" | grep -o -E 'k(Before|On|After)[A-Za-z]+' | sort -u)
[ "$called" = "$listed" ] && pass "the hooks the install manager calls are those the check lists" \
  || fail "hooks called and listed differ" "$(diff <(echo "$called") <(echo "$listed"))"

# --- window controls ---------------------------------------------------------------
found=$(grep -n -E '(FindControl|FindSubControlByName)\([^)]*L"|MapNotify\(L"[a-z]+", L"[A-Za-z]' "$SETUP/brixinstaller/window/"*.cpp)
[ -z "$found" ] && pass "the window finds controls only by the names of skincontrols.h" \
  || fail "control named by a literal in the window" "$found"

# --- toolkit classes ---------------------------------------------------------------------
# tag -> C++ class (the builder), class -> GetClass name and base (headers).
expected=$(python3 - "$SETUP/toolkit" <<'PY'
import re, sys, pathlib
tk = pathlib.Path(sys.argv[1])
builder = (tk / "uibuilder.cpp").read_text()
tags = {}
for cond, cls in re.findall(r'if \(([^)]*tag == "[^)]*)\) return new (C\w+);', builder):
    for tag in re.findall(r'tag == "(\w+)"', cond):
        tags[tag] = cls
name, base = {}, {}
for h in ("uicontrol.h", "uicontrols.h", "uicontainer.h"):
    text = (tk / h).read_text()
    for m in re.finditer(r'class (C\w+UI)(?: : public (C\w+UI))? \{(.*?)\n\};', text, re.S):
        own = re.search(r'GetClass\(\) const(?: override)? \{ return L"(\w+)"; \}', m.group(3))
        if own: name[m.group(1)] = own.group(1)
        if m.group(2): base[m.group(1)] = m.group(2)
for tag, cls in sorted(tags.items()):
    chain = []
    while cls:
        chain.append(name[cls]); cls = base.get(cls)
    print('{"%s", "%s"},' % (tag, " ".join(chain)))
PY
)
actual=$(grep -o -E '^ *\{"[A-Za-z]+", "[A-Za-z ]+"\},' "$ROOT/tools/packer/check/skincheck.cpp" | sed 's/^ *//' | sort)
if [ -n "$expected" ] && [ "$expected" = "$actual" ]; then pass "the check's class table is the toolkit's ($(wc -l <<<"$expected") tags)"
else fail "class table differs from the toolkit (toolkit < > check)" "$(diff <(echo "$expected") <(echo "$actual"))"; fi
# The layout schema knows no control tag the builder cannot make.
schema=$(sed -n '/Schema() {/,/^}/p' "$SETUP/toolkit/layoutdoc.cpp" | grep -o -E '^ *\{"[A-Z][A-Za-z]+", ' | grep -o -E '[A-Za-z]+' | grep -v -x -e Window -e Fonts -e Font | sort)
built=$(grep -o -E '^\{"[A-Za-z]+"' <<<"$expected" | grep -o -E '[A-Za-z]+' | sort)
[ "$schema" = "$built" ] && pass "every control tag of the layout schema is made by the builder" \
  || fail "schema and builder tags differ" "$(diff <(echo "$schema") <(echo "$built"))"
# The window's class names (kClassName<...>) are the classes' own.
bad=
while read -r cls cname; do
  grep -q -E "class $cls .*" "$SETUP/toolkit/"ui*.h || { bad+=" $cls?"; continue; }
  grep -q -F "{\"$cname\", \"$cname" <<<"$expected" || grep -q -E "\"$cname( |\")" <<<"$expected" || bad+=" $cls=$cname"
done < <(grep -o -E 'kClassName<C[A-Za-z]+UI> = "[A-Za-z]+"' "$SETUP/brixinstaller/window/dlginstall.cpp" | sed -E 's/kClassName<(C[A-Za-z]+UI)> = "([A-Za-z]+)"/\1 \2/')
[ -z "$bad" ] && pass "the window's class names are toolkit class names" || fail "unknown class names in the window:$bad"

finish
