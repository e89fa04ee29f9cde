# Sourced by the shell tests: check "what" command... runs the command and
# counts it in $failures when it fails.
failures=0
check() {
  local what=$1
  shift
  if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; failures=$((failures + 1)); fi
}
