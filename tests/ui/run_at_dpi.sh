#!/usr/bin/env bash
# run_at_dpi.sh DPI COMMAND...
# Runs COMMAND, a Windows test program run through scripts/wine-isolated, in a
# prefix copy at display scale DPI (144 is 150 %): wine-isolated runs this
# script's --in-copy part in its copy before Wine starts there, which sets
# LogPixels for the user and the machine in the copy's registry files. The
# program finds DPI in VELMORA_DPI.
set -euo pipefail
if [ "${1:-}" = --in-copy ]; then  # --in-copy DPI PREFIX
  for file_key in 'user.reg:[Control Panel\\Desktop]' \
    'system.reg:[System\\CurrentControlSet\\Hardware Profiles\\Current\\Software\\Fonts]'; do
    # LogPixels set at the end of the key's block (which must be there), or
    # in place of the one already there.
    KEY=${file_key#*:} LINE=$(printf '"LogPixels"=dword:%08x' "$2") awk '
      function put() { if (!done) print ENVIRON["LINE"]; done = 1 }
      inside && ($0 == "" || /^\[/) { put(); inside = 0 }
      inside && /^"LogPixels"=/ { put(); next }
      { print }
      index($0, ENVIRON["KEY"] " ") == 1 { inside = found = 1 }
      END { if (inside) put(); exit !found }' "$3/${file_key%%:*}" >"$3/new.reg"
    mv "$3/new.reg" "$3/${file_key%%:*}"  # the copy's own file: wine-isolated copies them whole
  done
  exit 0
fi
VELMORA_PREFIX_SETUP="bash $(printf '%q' "$0") --in-copy $1" VELMORA_DPI=$1 exec "${@:2}"
