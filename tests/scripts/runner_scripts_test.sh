#!/usr/bin/env bash
# The scripts that run the Windows tests, checked against a stand-in Wine
# (wine, wineboot and wineserver as small shell scripts first on PATH), so
# they run natively and fast:
# - wine-run marks no prefix ready when wineboot fails or installs no system
#   DLLs, and one when all worked;
# - wine-isolated passes the program's exit code on, gives it a display and a
#   copy of the prefix, arranged by the test's own command before it starts,
#   and leaves no process and no copy behind, also when it is stopped by TERM
#   in the middle;
# - wine-run picks the loader by the first argument that names a program, so
#   scripts/run's "explorer /desktop=… velmora.exe" gets the one that fits;
# - setup on a machine already set up needs no network and asks apt nothing;
# - find-skips counts a GoogleTest skip and an unlisted ctest skip, not a
#   listed one.
set -uo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
. "$here/tests/check.sh"

stand_in=$work/bin
mkdir -p "$stand_in" "$work/build"
touch "$work/build/CMakeCache.txt" "$work/build/test.exe"
cat >"$stand_in/wineboot" <<'EOT'
#!/bin/bash
[ -n "${STAND_IN_BOOT_FAILS:-}" ] && exit 5
mkdir -p "$WINEPREFIX/drive_c/windows/Fonts" "$WINEPREFIX/drive_c/windows/system32" &&
  echo registry >"$WINEPREFIX/system.reg"
# A wineboot that says it worked but installed no system DLLs.
[ -n "${STAND_IN_BOOT_EMPTY:-}" ] || touch "$WINEPREFIX/drive_c/windows/system32/kernel32.dll"
EOT
cat >"$stand_in/wine" <<'EOT'
#!/bin/bash
[ "$1" = reg ] && exit 0
[ "$1" = wineboot ] && { shift; exec wineboot "$@"; }
# The "program": tells what it got, then exits with its first argument, or
# starts a child that would run on and sleeps.
echo "display=$DISPLAY prefix=$WINEPREFIX arranged=$(cat "$WINEPREFIX/arranged" 2>/dev/null)" >"$STAND_IN_REPORT"
[ -f "$WINEPREFIX/system.reg" ] || exit 90
case $2 in
  hang) sleep 300 & sleep 300 ;;
  *) exit "$2" ;;
esac
EOT
printf '#!/bin/bash\nexit 0\n' >"$stand_in/wineserver"
chmod +x "$stand_in"/*
export PATH=$stand_in:$PATH STAND_IN_REPORT=$work/report

# wine-run ----------------------------------------------------------------------
STAND_IN_BOOT_FAILS=1 "$here/scripts/wine-run" --prepare "$work/build/test.exe" 2>/dev/null
check "wine-run fails when wineboot fails" [ $? -ne 0 ]
check "that prefix is not marked ready" [ ! -f "$work/build/wineprefix/.velmora-prefix" ]
STAND_IN_BOOT_EMPTY=1 "$here/scripts/wine-run" --prepare "$work/build/test.exe" 2>/dev/null
check "wine-run fails when wineboot made no system DLLs" [ $? -ne 0 ]
check "nor is that prefix marked ready" [ ! -f "$work/build/wineprefix/.velmora-prefix" ]
"$here/scripts/wine-run" --prepare "$work/build/test.exe"
check "wine-run marks a prefix ready once all worked" [ -s "$work/build/wineprefix/.velmora-prefix" ]

# A PE file of machine type $2 (hex, as the header stores it) as $1.
pe_file() { { printf 'MZ'; head -c 58 /dev/zero; printf '\100\0\0\0PE\0\0'; printf "$2"; } >"$1"; }
pe_file "$work/build/x64.exe" '\144\206'
pe_file "$work/build/x86.exe" '\114\001'
check "explorer for a 64-bit program runs under wine64" \
  [ "$("$here/scripts/wine-run" --loader explorer /desktop=velmora,1024x768 "$work/build/x64.exe")" = "/usr/lib/wine/wine64 win64" ]
check "explorer for a 32-bit program under the 32-bit loader" \
  [ "$("$here/scripts/wine-run" --loader explorer /desktop=velmora,1024x768 "$work/build/x86.exe")" = "wine win32" ]

# wine-isolated -----------------------------------------------------------------
"$here/scripts/wine-isolated" "$work/build/test.exe" 7 >/dev/null 2>&1
check "wine-isolated passes the exit code on" [ $? -eq 7 ]
check "the program ran on a display of its own" grep -q "display=:[0-9]" "$work/report"
check "in a copy of the prefix" grep -q "prefix=$work/build/wineprefix.runs/" "$work/report"
check "the copy is removed" [ -z "$(ls "$work/build/wineprefix.runs")" ]

# A test's own arrangement of its copy, made before the program starts; when
# it fails, the program does not run.
printf '[ "$1" = ok ] && echo yes >"$2/arranged"' >"$work/arrange"
VELMORA_PREFIX_SETUP="bash $work/arrange ok" "$here/scripts/wine-isolated" "$work/build/test.exe" 0 >/dev/null 2>&1
check "the program ran in the copy its test arranged" grep -q "arranged=yes" "$work/report"
rm -f "$work/report"
VELMORA_PREFIX_SETUP="bash $work/arrange fail" "$here/scripts/wine-isolated" "$work/build/test.exe" 0 >/dev/null 2>&1
check "a failed arrangement fails the run before the program" [ $? -ne 0 -a ! -e "$work/report" ]
rm -f "$work/report"
"$here/scripts/wine-isolated" "$work/build/test.exe" hang >/dev/null 2>&1 &
runner=$!
for _ in $(seq 100); do [ -s "$work/report" ] && break; sleep 0.1; done
copy=$(sed -E 's/.*prefix=//' "$work/report")
sleep 1
kill -TERM "$runner"
wait "$runner"
check "a TERM ends wine-isolated" [ $? -eq 143 ]
left=$(grep -lzxF "WINEPREFIX=$copy" /proc/[0-9]*/environ 2>/dev/null)
check "nothing of the copy runs on" [ -z "$left" ]
check "that copy is removed too" [ ! -d "$copy" ]

# setup -----------------------------------------------------------------------------
# A second setup, for a fresh clone (a folder with no third_party/), in a
# network namespace of its own: no apt-get runs and no package index changes.
if [ "$(id -u)" -ne 0 ] || ! unshare -n true 2>/dev/null; then
  check "setup without a network: unshare -n is refused here (needs root)" false
else
  mkdir -p "$work/clone/scripts" "$work/apt-calls"
  cp "$here/scripts/setup" "$here/scripts/runs-32-bit" "$work/clone/scripts/"
  printf '#!/bin/bash\necho "$*" >>"%s/apt-calls/log"\nexit 100\n' "$work" >"$stand_in/apt-get"
  chmod +x "$stand_in/apt-get"
  lists() { ls -l --time-style=full-iso /var/lib/apt/lists /var/lib/apt/lists/partial 2>&1; }
  before=$(lists)
  unshare -n "$work/clone/scripts/setup" >"$work/setup.log" 2>&1
  check "setup on a set-up machine exits 0 without a network" [ $? -eq 0 ]
  check "it ran no apt-get" [ ! -s "$work/apt-calls/log" ]
  check "no package index changed" [ "$before" = "$(lists)" ]
  check "the clone has the Boost sources" [ -f "$work/clone/third_party/boost-serialization-src/libs/serialization/src/text_iarchive.cpp" ]
  rm -f "$stand_in/apt-get"
  [ "$failures" -eq 0 ] || cat "$work/setup.log"
fi

# find-skips ------------------------------------------------------------------------
cat >"$work/report.xml" <<'EOT'
<testsuite>
<testcase name="a" status="run"><system-out>[  SKIPPED ] Suite.Skipped (0 ms)
[  PASSED  ] 1 test.</system-out></testcase>
<testcase name="b" status="notrun"><skipped message="Disabled"/></testcase>
<testcase name="c" status="run"><system-out>[  PASSED  ] 3 tests.</system-out></testcase>
</testsuite>
EOT
printf '# x\n### Expected skips\n- `b` because\n' >"$work/readme"
"$here/scripts/find-skips" "$work/readme" "$work/report.xml" >"$work/skips"
check "find-skips counts one unexpected skip" [ $? -eq 1 ]
check "the GoogleTest skip is named" grep -q "unexpected skip: Suite.Skipped" "$work/skips"
check "the listed skip is allowed" grep -q "expected skip: b" "$work/skips"

echo "$failures failed"
[ "$failures" -eq 0 ]
