#!/usr/bin/env bash
# run_at_dpi.sh DPI COMMAND...
# Runs COMMAND, a Windows test program run through scripts/wine-isolated, in a
# prefix copy whose display scale is DPI (144 is 150 %): the copy's registry
# gets LogPixels = DPI, for the user (HKCU\Control Panel\Desktop) and the
# machine (HKLM\...\Hardware Profiles\Current\Software\Fonts), before Wine
# starts in it. Only the copy is changed, and it ends with the run. The
# program finds DPI in VELMORA_DPI, to know what to expect.
#
# run_at_dpi.sh --in-copy DPI PREFIX: the change itself, which wine-isolated
# makes in its copy PREFIX (VELMORA_PREFIX_SETUP).
set -euo pipefail

# set_dword FILE SECTION NAME HEX: "NAME"=dword:HEX in the key [SECTION] of a
# Wine registry file (SECTION spelled as the file spells it); the key must be
# there. A value already there is replaced.
set_dword() {
  SECTION="[$2]" NAME="\"$3\"" VALUE="$4" awk '
    function put() { print ENVIRON["NAME"] "=dword:" ENVIRON["VALUE"]; done = 1 }
    inside && ($0 == "" || /^\[/) { if (!done) put(); inside = 0 }
    inside && index($0, ENVIRON["NAME"] "=") == 1 { if (!done) put(); next }
    { print }
    index($0, ENVIRON["SECTION"] " ") == 1 { inside = 1; found = 1 }
    END { if (inside && !done) put(); exit !found }' "$1" >"$1.new"
  mv "$1.new" "$1"
}

if [ "${1:-}" = --in-copy ]; then
  hex=$(printf '%08x' "$2")
  # Copied whole by wine-isolated, not linked to the build's prefix.
  set_dword "$3/user.reg" 'Control Panel\\Desktop' LogPixels "$hex"
  set_dword "$3/system.reg" 'System\\CurrentControlSet\\Hardware Profiles\\Current\\Software\\Fonts' LogPixels "$hex"
  exit 0
fi

dpi=$1
shift
VELMORA_PREFIX_SETUP="bash $(printf '%q' "$0") --in-copy $dpi"
VELMORA_DPI=$dpi
export VELMORA_PREFIX_SETUP VELMORA_DPI
exec "$@"
