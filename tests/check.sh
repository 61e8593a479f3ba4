# Sourced by the shell tests: `check DESCRIPTION COMMAND...` runs the command
# and counts a failure in $fails; the test ends with `[ $fails -eq 0 ]`.
fails=0
check() {
  local what="$1"
  shift
  if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; fails=$((fails + 1)); fi
}
