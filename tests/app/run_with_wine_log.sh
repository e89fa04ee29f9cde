#!/usr/bin/env bash
# run_with_wine_log.sh LOG COMMAND...
# Runs a Windows test program under Wine with the mmio debug channel on and
# Wine's debug output (its standard error, which the program's children share)
# in LOG. The program finds LOG's Windows path in VELMORA_WINE_LOG and reads
# there which sound files were opened for playing.
set -euo pipefail
log=$1
shift
: >"$log"
export WINEDEBUG=-all,+mmio
VELMORA_WINE_LOG="Z:$(realpath "$log" | tr / '\\')"
export VELMORA_WINE_LOG
exec "$@" 2>>"$log"
