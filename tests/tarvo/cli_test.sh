#!/usr/bin/env bash
# tarvo on the build machine: tests/tarvo/cli_test.sh TARVO STUB OWN_PRODUCT WORK_DIR
# new, check, build (twice, byte for byte), inspect, the uninstaller inside the payload, signing, and
# every kind of bad input: a clear message naming the file (and line), exit 1, the output untouched.
set -uo pipefail
tarvo=$1 stub=$2 own=$3 work=$4
rm -rf "$work" && mkdir -p "$work"
failures=0
fail() {
  echo "FAILED: $*"
  failures=$((failures + 1))
}
# expect_rc RC CMD...: runs CMD (output in $work/last.out), fails unless it exits with RC.
expect_rc() {
  local want=$1
  shift
  "$@" >"$work/last.out" 2>&1
  local rc=$?
  [ "$rc" = "$want" ] || fail "exit $rc (not $want): $* :: $(head -c 600 "$work/last.out")"
}
expect_out() {
  grep -qE -- "$1" "$work/last.out" || fail "no line matching /$1/ in: $(head -c 900 "$work/last.out")"
}

# ---- new, check, build, inspect --------------------------------------------------------------------
expect_rc 0 "$tarvo" new "$work/starter"
[ -f "$work/starter/payload/README.txt" ] && [ -f "$work/starter/UI.lua" ] || fail "starter folder incomplete"
expect_rc 1 "$tarvo" new "$work/starter"
expect_out "not empty"
expect_rc 0 "$tarvo" check "$work/starter"
expect_out "0 errors"

expect_rc 0 "$tarvo" build "$own" -o "$work/a.exe" --stub "$stub"
expect_rc 0 "$tarvo" build "$own" -o "$work/b.exe" --stub "$stub"
cmp -s "$work/a.exe" "$work/b.exe" || fail "two builds of one folder differ"
SOURCE_DATE_EPOCH=1234567890 expect_rc 0 "$tarvo" build "$own" -o "$work/c.exe" --stub "$stub"
expect_rc 0 "$tarvo" inspect "$work/c.exe"
expect_out "time stamp 1234567890"
expect_rc 0 "$tarvo" inspect "$work/a.exe"
for want in "111 \(language 2052\).*UI.lua" "frame.lz: 1 entries, [0-9]+ bytes unpacked, all sound" \
  "style.lz: 5 entries" "program.lz: 5 entries, [0-9]+ bytes unpacked, all sound" "ProductName = 自有产品" \
  "FileVersion = 2.5" "CompanyName = Own Test Ltd" "GROUP_ICON|MANIFEST 1 \(language 1033\)" \
  "manifest: 10 entries, 5 files, 5 folders; 0 files missing from program.lz, 0 entries"; do
  expect_out "$want"
done

# The uninstaller inside the payload: the same stub with the uninstall folder's scripts and the
# installer's manifest, unins000.exe included.
packtool=$(dirname "$(dirname "$tarvo")")/packtool/packtool
expect_rc 0 "$tarvo" inspect "$work/a.exe" --save "$work/a-res"
expect_rc 0 "$packtool" extract "$work/a-res/program.lz" "$work/a-files" unins000.exe
expect_rc 0 "$tarvo" inspect "$work/a-files/unins000.exe" --save "$work/u-res"
expect_out "program.lz: 0 entries"
expect_out "manifest: 10 entries, 5 files, 5 folders"
cmp -s "$work/u-res/frame.lz" "$work/a-res/frame.lz" && fail "the uninstaller carries the installer's layouts"
grep -q "ends at once" "$work/u-res/UI.lua" || fail "the uninstaller's UI.lua is not the uninstall folder's"
cmp -s "$work/u-res/style.lz" "$work/a-res/style.lz" || fail "the uninstaller's skin is not the product's"

# ---- signing with a throw-away certificate ------------------------------------------------------------
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/key.pem" -out "$work/cert.pem" -days 2 \
  -subj "/CN=tarvo test" >/dev/null 2>&1 || fail "openssl could not make a certificate"
expect_rc 0 "$tarvo" build "$own" -o "$work/signed.exe" --stub "$stub" --sign "$work/cert.pem" "$work/key.pem"
expect_rc 0 osslsigncode verify -CAfile "$work/cert.pem" -in "$work/signed.exe"
expect_rc 0 "$tarvo" inspect "$work/signed.exe"

# ---- bad input: exit 1, the message names the file and line, the output stays as it was ----------------
# broken NAME EDIT MESSAGE [BUILD ARGS...]: a copy of the test product changed by EDIT (run in it) fails
# to build with a line matching MESSAGE; an existing output file keeps its bytes.
broken() {
  local name=$1 edit=$2 message=$3
  shift 3
  rm -rf "$work/$name" && cp -r "$own" "$work/$name"
  (cd "$work/$name" && eval "$edit")
  printf 'earlier installer\n' >"$work/$name.exe"
  expect_rc 1 "$tarvo" build "$work/$name" -o "$work/$name.exe" --stub "$stub" "$@"
  expect_out "$message"
  [ "$(cat "$work/$name.exe")" = "earlier installer" ] || fail "$name: the output file was touched"
  ls "$work" | grep -q "tarvo-tmp" && fail "$name: a temporary file was left behind"
}
broken syntax "sed -i '3s/.*/local = 1/' UI.lua" "/UI.lua:3: error: Lua: .* near '='"
broken glue "sed -i '9s/.*/local = 1/' glue.lua" "/glue.lua:9: error: Lua: .* near '='"
broken xml "sed -i 's/<Canvas id=\"1000\">/<Canvas id=\"1000\"/' layouts/own.xml" \
  "/layouts/own.xml:3: error: malformed XML: expected"
broken image "sed -i 's/overSkin=\"own_button.png\"/overSkin=\"missing.png\"/' skin/own_button.xml" \
  "/skin/own_button.xml:2: error: overSkin names the image \"missing.png\", which is not in skin/"
broken manifest "rm -r uninstall LG.lua.in; printf 'local operations = {\n    {1, [[说明.txt]]},\n    {1, [[ghost.txt]]},\n}\n' >LG.lua" \
  "/LG.lua:3: error: \"ghost.txt\" is not in payload/"
expect_out "/LG.lua: error: payload/empty.dat is not in the manifest"
broken stub "true" "nope.exe: engine stub not found" --stub "$work/nope.exe"
rm -rf "$work/empty" && mkdir "$work/empty"
expect_rc 1 "$tarvo" build "$work/empty" -o "$work/empty.exe" --stub "$stub"
expect_out "empty: error: the product folder is empty"
expect_rc 1 "$tarvo" build "$own" -o "$work/no/such/folder/out.exe" --stub "$stub"
expect_out "out.exe: cannot write into the folder .*/no/such/folder"
[ -e "$work/no" ] && fail "a folder was made for an unwritable output"
expect_rc 1 "$tarvo" check "$work/syntax"
expect_out "1 error"

# ---- check: mistakes the engine survives (warnings, exit 0) and nesting it refuses (an error) ----------
m=$work/mistakes
rm -rf "$m" && cp -r "$own" "$m"
sed -i 's/textColor="#FFFFFF"/textColor="#FFF" scaleGrid="10,2,10,2"/' "$m/skin/own_button.xml"
printf '<font face="An Extremely Long Font Face Name Here"/>\n<font name="Wide" face="微软雅黑微软雅黑微软雅黑微软雅黑微软雅黑"/>\n' \
  >>"$m/skin/font.xml"
printf '\xff\xd8\xff\xe0\x00\x04\x00\x00\xff\xc0\x00\x11\x08\x00\x05\x00\x06\x03\x01\x22\x00' >"$m/skin/bar.jpg"
printf 'GIF89a\x04\x00\x01\x00\x00\x00\x00;' >"$m/skin/bar.gif"
sed -i -e 's/<Label id="1002"/<Label id="1002" visible="true" dock="middle" width="2147483648" padding="1,2"/' -e '3a\
    <ProgressBar id="1003" progressimg="bar.jpg" progressScaleGrid="0,4,0,4" progressbkimg="bar.gif" progressbkScaleGrid="2,0,2,0"/>' \
  "$m/layouts/own.xml"
expect_rc 0 "$tarvo" check "$m"
for want in "/skin/own_button.xml:2: warning: textColor=\"#FFF\" is not a colour" \
  "/skin/own_button.xml:2: warning: scaleGrid \"10,2,10,2\" is larger than upSkin \"own_button.png\" \(16x16\)" \
  "/skin/font.xml:2: warning: <font> has no name" "/skin/font.xml:2: warning: face \"An Extremely.* longer than 31" \
  "/layouts/own.xml:3: warning: dock=\"middle\" is not one of left, right" \
  "/layouts/own.xml:3: warning: width=\"2147483648\" is outside the 32-bit range" \
  "/layouts/own.xml:3: warning: padding=\"1,2\" needs 4 numbers" "/layouts/own.xml:3: warning: visible=\"true\" is neither" \
  "/layouts/own.xml:4: warning: progressScaleGrid \"0,4,0,4\" is larger than progressimg \"bar.jpg\" \(6x5\)" \
  "mistakes: 0 errors, 9 warnings"; do
  expect_out "$want"
done
{
  for _ in $(seq 300); do echo "<Canvas>"; done
  for _ in $(seq 300); do echo "</Canvas>"; done
} >"$m/layouts/deep.xml"
expect_rc 1 "$tarvo" check "$m"
expect_out "/layouts/deep.xml:257: error: malformed XML: element nesting too deep"

if [ $failures -ne 0 ]; then
  echo "$failures failure(s)"
  exit 1
fi
echo "tarvo command line: all cases passed"
