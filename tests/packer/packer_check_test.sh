#!/usr/bin/env bash
# quillpack --check: each kind of problem reported with its file and line,
# all of them in one run, exit codes 0/1/2, and nothing written anywhere.
# Usage: packer_check_test.sh <quillpack> <packer fixture> <clean check fixture>
set -u
PACK=$1 FIXTURE=$2 CLEAN=$3
source "$(dirname "${BASH_SOURCE[0]}")/testlib.sh"
make_work check

# A fresh clean product: the text files kept as the fixture, the icon and
# one tiny PNG (at every scale) from the packer's fixture.
product() {
  rm -rf "$WORK/p"; cp -r "$CLEAN" "$WORK/p"
  cp "$FIXTURE/icon.ico" "$WORK/p/"
  for img in folder InstallBk0 InstallBk1; do
    for s in "" @125 @150 @175 @200; do cp "$FIXTURE/skin/Images/dot.png" "$WORK/p/skin/Image/$img$s.png"; done
  done
}
LAYOUT=$WORK/p/skin/Layout/Layout.xml
# line_of <file> <text>: the first line holding the text.
line_of() { grep -n -F -- "$2" "$1" | head -1 | cut -d: -f1; }

# check <name> <expected exit code> <line that must be printed>...
# A printed line matches when it starts with the expected one.
check() {
  local name=$1 code=$2; shift 2
  local out rc
  out=$("$PACK" --check --product "$WORK/p" 2>&1); rc=$?
  if [ $rc -ne "$code" ]; then fail "$name: exit code $rc, not $code" "$out"; return; fi
  local want
  for want in "$@"; do
    if ! awk -v w="$want" 'index($0, w) == 1 { found = 1 } END { exit !found }' <<<"$out"; then
      fail "$name: no line \"$want\"" "$out"; return
    fi
  done
  pass "$name"
}
# lacks <name> <text>: the last check's output must not hold the text.
lacks() {
  local out; out=$("$PACK" --check --product "$WORK/p" 2>&1)
  if grep -q -F -- "$2" <<<"$out"; then fail "$1" "$out"; else pass "$1"; fi
}

# --- a clean product ------------------------------------------------------
product
out=$("$PACK" --check --product "$WORK/p" 2>&1); rc=$?
if [ $rc -eq 0 ] && grep -q '^quillpack: check: 0 problems, 0 notes; payload 2 files in 1 folder, 30 bytes' <<<"$out" &&
   grep -q -x 'install.lua: hooks defined: BrixSE_BeforeInit (line 4), BrixSE_BeforeInstall (line 6), BrixSE_OnInstall (line 8), BrixSE_BeforeComplete (line 12), BrixSE_AfterComplete (line 14)' <<<"$out"; then
  pass "clean product: exit 0, no problem, no note, hooks with their lines"
else
  fail "clean product" "$out"
fi

# --- nothing written --------------------------------------------------------
product
snapshot() { (cd "$WORK" && find . -path ./tmp -prune -o -printf '%p %s %T@ %m\n' | sort); }
mkdir -p "$WORK/tmp"
printf 'x = \n' >>"$WORK/p/install.lua"  # a run with problems writes nothing either
before=$(snapshot)
TMPDIR=$WORK/tmp "$PACK" --check --product "$WORK/p" >/dev/null 2>&1
TMPDIR=$WORK/tmp "$PACK" --check --product "$WORK/p" --out "$WORK/setup.exe" >/dev/null 2>&1
if [ "$before" = "$(snapshot)" ] && [ -z "$(ls -A "$WORK/tmp")" ]; then pass "nothing written: listings, sizes, mtimes unchanged, no temporary files"
else fail "nothing written" "$(diff <(echo "$before") <(snapshot)) $(ls -A "$WORK/tmp")"; fi

# --- command line -----------------------------------------------------------
expect_rc() {
  local name=$1 code=$2; shift 2
  "$PACK" "$@" >/dev/null 2>&1; local rc=$?
  if [ $rc -eq "$code" ]; then pass "$name"; else fail "$name: exit code $rc, not $code"; fi
}
expect_rc "--check without --product: 2" 2 --check
expect_rc "--check with --out: 2" 2 --check --product "$WORK/p" --out "$WORK/setup.exe"
expect_rc "--check with --stub: 2" 2 --check --stub "$WORK/p/icon.ico" --product "$WORK/p"
expect_rc "--check with --plain-stub: 2" 2 --check --plain-stub --product "$WORK/p"
expect_rc "--check with an unknown argument: 2" 2 --check --product "$WORK/p" --verbose
[ ! -e "$WORK/setup.exe" ] && pass "refused --out not created" || fail "refused --out created"
expect_rc "product folder that does not exist: 1" 1 --check --product "$WORK/nothing"
if "$PACK" --help | grep -q -- "--check --product"; then pass "--help shows --check"; else fail "--help shows --check"; fi

# --- chunks -----------------------------------------------------------------
for chunk in config install uninstall; do
  product; printf 'local t = {\n  a = 1,\n  b = = 2,\n}\n' >"$WORK/p/$chunk.lua"
  check "syntax error in $chunk.lua" 1 "$chunk.lua:3: unexpected symbol near '='"
done
product
printf 'function f(\n' >"$WORK/p/config.lua"; printf 'x = 1\ny = )\n' >"$WORK/p/uninstall.lua"
sed -i 's/^global_install_basepath = /global_install_basepath == /' "$WORK/p/install.lua"
check "syntax errors in two chunks, both reported" 1 "config.lua:2:" "uninstall.lua:2:"

product
n=$(line_of "$WORK/p/install.lua" "function BrixSE_OnInstall()")
sed -i 's/function BrixSE_OnInstall()/function BrixSe_OnInstall()/' "$WORK/p/install.lua"
check "hook name in the wrong case" 1 "install.lua:$n: BrixSe_OnInstall is not a hook the installer calls; did you mean BrixSE_OnInstall?"
product; sed -i 's/function BrixSE_OnInstall()/function brixse_oninstall()/' "$WORK/p/install.lua"
check "hook name in lower case" 1 "install.lua:$n: brixse_oninstall is not a hook the installer calls; did you mean BrixSE_OnInstall?"
product; sed -i 's/function BrixSE_OnInstall()/function BrixSE_OnInstal()/' "$WORK/p/install.lua"
check "hook name one letter short" 1 "install.lua:$n: BrixSE_OnInstal is not a hook the installer calls; did you mean BrixSE_OnInstall?" \
  "install.lua: hooks defined: BrixSE_BeforeInit (line 4), BrixSE_BeforeInstall (line 6), BrixSE_BeforeComplete (line 12), BrixSE_AfterComplete (line 14)"
product; sed -i 's/function BrixSE_AfterUninstall()/function BrixSE_AfterUnistall()/' "$WORK/p/uninstall.lua"
check "uninstall hook misspelt" 1 "uninstall.lua:10: BrixSE_AfterUnistall is not a hook the uninstaller calls; did you mean BrixSE_AfterUninstall?"
product; printf '\nBrixSE_OnUninstall = function() end\n' >>"$WORK/p/install.lua"
check "uninstall hook in the install chunk" 1 \
  "install.lua:16: BrixSE_OnUninstall is a hook, but the installer never calls it; define it in uninstall.lua"
product; printf 'function BrixSE_BeforeInit() end\n' >>"$WORK/p/config.lua"
check "hook in the configuration chunk" 1 \
  "config.lua:19: BrixSE_BeforeInit is a hook defined where the installer and the uninstaller both run it; define it in install.lua and uninstall.lua"
product; printf 'function BrixSE_Helper() end\nlocal function BrixSE_Local() end\nBrixSEOnInstall_count = 0\n' >>"$WORK/p/install.lua"
check "unknown name in the hooks' prefix" 1 "install.lua:15: BrixSE_Helper is not a hook the installer calls (its hooks: "
lacks "a local function is no global" "BrixSE_Local"
product; printf 'function Install() end\nfunction OnInstallDone() end\n' >>"$WORK/p/install.lua"
check "names far from any hook pass" 0 "quillpack: check: 0 problems"

# --- configuration left unset -------------------------------------------------
product; sed -i '/^global_licence_url = /d' "$WORK/p/config.lua"
check "unset global is a note, exit 0" 0 \
  'config.lua: note: global_licence_url is not set; the installer uses "": the licence link opens nothing' \
  "quillpack: check: 0 problems, 1 note"
product; sed -i '/^global_need_disk_space = /d' "$WORK/p/config.lua"
sed -i 's/^  log("on install")$/  global_need_disk_space = "2048"/' "$WORK/p/install.lua"
lacks "set by an install hook: no note" "global_need_disk_space"
product; sed -i '/^global_product_name = /d' "$WORK/p/config.lua"; printf 'global_product_name = "X"\n' >>"$WORK/p/install.lua"
check "set for the installer only: noted for the uninstaller" 0 \
  "config.lua: note: global_product_name is not set; the uninstaller uses"
product; sed -i '/^global_uninstall_confirm_text = /d' "$WORK/p/config.lua"; printf 'global_uninstall_confirm_text = "?"\n' >>"$WORK/p/install.lua"
check "uninstaller's setting given to the installer: noted" 0 \
  "config.lua: note: global_uninstall_confirm_text is not set; the uninstaller uses the built-in question"

# --- skin layout ----------------------------------------------------------------
product; sed -i 's/<Progress name="ProgressInstall" height="6"/<Progress name="ProgressInstall" height="6" colour="#FF000000"/' "$LAYOUT"
n=$(line_of "$LAYOUT" 'name="ProgressInstall"')
check "unknown attribute" 1 "skin/Layout/Layout.xml:$n: unknown attribute \"colour\" on <Progress> (ignored)"
product; sed -i 's/<Label name="LabelInstallValue" height="24"/<Label name="LabelInstallValue" height="2x4"/' "$LAYOUT"
n=$(line_of "$LAYOUT" 'name="LabelInstallValue"')
check "bad attribute value" 1 "skin/Layout/Layout.xml:$n: attribute \"height\" of <Label>: bad value \"2x4\", expected an integer (ignored)"
product; sed -i 's/<Label name="LabelInstallValue" height="24"/<Label name="LabelInstallValue" height="-24" role="button"/' "$LAYOUT"
check "values the control refuses" 1 "skin/Layout/Layout.xml:$n: attribute \"height\" of <Label> not taken (value \"-24\")" \
  "skin/Layout/Layout.xml:$n: attribute \"role\" of <Label> not taken (value \"button\")"
product; sed -i 's/<VerticalLayout name="VertUpdateView"\/>/<Slider name="VolSlider"\/>/' "$LAYOUT"
n=$(line_of "$LAYOUT" '<Slider')
check "unknown control class" 1 "skin/Layout/Layout.xml:$n: unknown element <Slider> (dropped)"
product; sed -i 's/<Label name="LabelInstallValue" height="24" text="0 %"\/>/<Label name="LabelInstallValue" height="24"><Control\/><\/Label>/' "$LAYOUT"
n=$(line_of "$LAYOUT" 'name="LabelInstallValue"')
check "child of a plain control" 1 "skin/Layout/Layout.xml:$n: <Label> takes no child elements (dropped <Control>)"
product; sed -i 's/<HorizontalLayout name="HorizNumber" height="36"\/>/<HorizontalLayout name="HorizNumber" height="36">/' "$LAYOUT"
n=$(($(line_of "$LAYOUT" 'name="HorizNumber"') + 2))  # the view's end tag
check "malformed XML with its line" 1 "skin/Layout/Layout.xml:$n: malformed XML: Start-end tags mismatch"
product; sed -i 's/fontfile="font.xml"/fontfile="fonts\/missing.xml"/' "$LAYOUT"
check "font file that is not there" 1 "skin/Layout/Layout.xml:2: fontfile \"fonts/missing.xml\" is not in the skin"
product; printf '<Fonts>\n  <Font id="0" size="big"/>\n</Fonts>\n' >"$WORK/p/skin/font.xml"
check "font file with a bad value" 1 "skin/font.xml:2: attribute \"size\" of <Font>: bad value \"big\""
product; rm "$LAYOUT"
check "layout missing" 1 "skin/Layout/Layout.xml: missing; the installer window reads its layout from it"
product; mv "$LAYOUT" "$WORK/p/skin/Layout/layout.XML"
check "layout named in another case is found (names compare without case)" 0 "quillpack: check: 0 problems"

# --- the window's controls ----------------------------------------------------------
product; n=$(line_of "$LAYOUT" 'name="BtnInstall"'); sed -i 's/<Button name="BtnInstall" height="40" text="Install" font="1" bkimage="Image\/button.svg"\/>/<Label name="BtnInstall" height="40" text="Install"\/>/' "$LAYOUT"
check "control with the wrong class" 1 \
  "skin/Layout/Layout.xml:$n: \"BtnInstall\" is a <Label>; the installer window takes it only as a Button (or a class derived from it) and goes on without it"
product; sed -i 's/<Option name="CheckLicence" selected="true"/<CheckBox name="CheckLicence" selected="true"/; s/<Button name="BtnStart"/<Option name="BtnStart"/' "$LAYOUT"
check "derived classes and tag synonyms are accepted" 0 "quillpack: check: 0 problems"
product; sed -i '/name="ProgressInstall"/d' "$LAYOUT"
check "required control missing" 1 "skin/Layout/Layout.xml: the installer window needs a Progress \"ProgressInstall\" in \"VertInstallView\"; the layout has none"
product; sed -i '/name="BtnSelectPath"/d' "$LAYOUT"
check "optional control missing: a note" 0 "skin/Layout/Layout.xml: note: the installer window uses a Button \"BtnSelectPath\" when there is one"
product; sed -i '/name="BtnStart"/d' "$LAYOUT"; sed -i 's/<VerticalLayout name="VertInfoTipView"\/>/<VerticalLayout name="VertInfoTipView"><Button name="BtnStart"\/><\/VerticalLayout>/' "$LAYOUT"
n=$(line_of "$LAYOUT" 'name="BtnStart"')
check "control outside its view" 1 "skin/Layout/Layout.xml:$n: \"BtnStart\" is not inside \"VertCompleteView\", where the installer window looks for it"

# --- images -------------------------------------------------------------------
product; rm "$WORK/p/skin/Image"/folder*.png; n=$(line_of "$LAYOUT" 'Image/folder.png')
check "image missing at every scale" 1 "skin/Layout/Layout.xml:$n: image \"Image/folder.png\" is not in the skin at any scale"
product; rm "$WORK/p/skin/Image/folder.png" "$WORK/p/skin/Image/folder@150.png"
check "missing scales: a note naming them" 0 "skin/Layout/Layout.xml:$n: note: image \"Image/folder.png\" lacks the scales 100 %, 150 %; the toolkit resamples the nearest"
product; rm "$WORK/p/skin/Image/close_hot.svg"; n=$(line_of "$LAYOUT" 'close_hot.svg')
check "SVG missing" 1 "skin/Layout/Layout.xml:$n: image \"Image/close_hot.svg\" is not in the skin"
lacks "an SVG needs no scales" "close.svg"
product; rm "$WORK/p/skin/Image"/InstallBk1*.png
check "image the window sets itself" 1 "skin: image \"Image/InstallBk1.png\" is not in the skin at any scale (the window's install view shows it)"
product; sed -i "s|normalimage=\"Image/folder.png\"|normalimage=\"file='Image/folder.png' source='0,0,1,1'\"|" "$LAYOUT"
check "keyed image reference" 0 "quillpack: check: 0 problems"
product; sed -i "s|normalimage=\"Image/folder.png\"|normalimage=\"file='Image/nothere.png' corner='1,1,1,1'\"|" "$LAYOUT"; n=$(line_of "$LAYOUT" "Image/nothere.png")
check "keyed image reference to a missing file" 1 "skin/Layout/Layout.xml:$n: image \"Image/nothere.png\" is not in the skin at any scale"

# --- product.ini, icon, payload ------------------------------------------------
product; printf 'verison = 1.0.0.0\n' >>"$WORK/p/product.ini"
check "product.ini error with its line" 1 "product.ini:5: unknown key \"verison\""
product; echo "not an icon" >"$WORK/p/icon.ico"
check "icon that is no icon" 1 "icon.ico: not a usable icon file: no icon directory header"
product; touch "$WORK/p/payload/aux.txt" "$WORK/p/payload/a:b" "$WORK/p/payload/README.TXT"
check "every payload name refused" 1 "payload/a:b: the name holds a character Windows does not allow" \
  "payload/aux.txt: the installer refuses this name" "payload/readme.txt: differs from payload/README.TXT only in case" \
  "quillpack: check: 3 problems, 0 notes; payload 5 files in 1 folder, 30 bytes"
product; ln -s ../readme.txt "$WORK/p/payload/docs/link.txt"
check "link in the payload" 1 "payload/docs/link.txt: is a symbolic link (to ../readme.txt)"
product; head -c 1500000 /dev/zero >"$WORK/p/payload/docs/big.bin"; mkdir "$WORK/p/payload/empty"
check "payload counts in the summary" 0 "quillpack: check: 0 problems, 0 notes; payload 3 files in 2 folders, 1500030 bytes (1.5 MB)"
product; rm -r "$WORK/p/payload" "$WORK/p/uninstall.lua"
check "missing entries, the rest still checked" 1 "uninstall.lua: missing from the product folder" \
  "payload: folder missing from the product folder" "install.lua: hooks defined: BrixSE_BeforeInit"

# --- everything at once ------------------------------------------------------------
product
printf 'verison = 1\n' >>"$WORK/p/product.ini"; printf 'x = = 1\n' >"$WORK/p/config.lua"
sed -i 's/function BrixSE_OnInstall()/function BrixSE_Oninstall()/' "$WORK/p/install.lua"
rm "$WORK/p/skin/Image"/folder*.png; touch "$WORK/p/payload/con"
sed -i 's/<Button name="BtnInstall"/<Label name="BtnInstall"/' "$LAYOUT"
out=$("$PACK" --check --product "$WORK/p" 2>&1); rc=$?
if [ $rc -eq 1 ] && [ "$(grep -c -E '^(product.ini:5|config.lua:1|install.lua:8|skin/Layout/Layout.xml:[0-9]+|payload/con): ' <<<"$out")" -eq 6 ] &&
   grep -q '^quillpack: check: 6 problems' <<<"$out"; then pass "problems of every kind collected in one run"
else fail "problems of every kind collected in one run" "$out"; fi

finish
