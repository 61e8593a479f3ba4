#!/usr/bin/env bash
# Runs the unit suite (marrowfold_tests.exe) of both Windows builds under
# Wine, in a Wine prefix of its own (build-win32/wine/prefix), with the
# corpus reached through Wine's drive Z:. Builds first (incrementally).
# Fails when a build fails, a test fails or a run takes too long. Where the
# kernel refuses 32-bit programs, the i686 suite runs through qemu-i386
# (scripts/wine32.sh); where that fails too, it is reported as not run, with
# the reason.
#   MARROWFOLD_WINE_TIMEOUT=seconds   per run (default 900)
set -euo pipefail
cd "$(dirname "$0")/.."
start=$SECONDS
timeout_s=${MARROWFOLD_WINE_TIMEOUT:-900}

log=$(mktemp)
trap 'rm -f "$log"' EXIT
# Inside the namespace of qemu-i386 the build was made just before.
if [ -n "${MARROWFOLD_WINE32_NS:-}" ]; then
  :
elif ! bash scripts/windows_build.sh all >"$log" 2>&1; then
  cat "$log" >&2
  echo "windows_unit_tests: the build failed" >&2
  exit 1
fi
grep '^windows_build:' "$log" || true

source scripts/wine_env.sh build-win32/wine
rm -f "$log"
wine_enter_32bit "$(pwd)/scripts/windows_unit_tests.sh" "$@"
trap 'wine_stop; rm -f "$log"' EXIT
prefix_start=$SECONDS
wine_prepare_prefix
echo "windows_unit_tests: Wine prefix ready in $((SECONDS - prefix_start)) s"

# The tests take the corpus from here; a Linux path means nothing to them.
if [ -d ../shared/corpus ]; then
  export MARROWFOLD_CORPUS_DIR="Z:$(cd ../shared/corpus && pwd)"
fi

status=0
for dir in build-win32 build-win64; do
  if [ "$dir" = build-win32 ] && ! wine_runs_32bit; then
    echo "windows_unit_tests: $dir: not run: $wine_no_32bit_reason"
    continue
  fi
  run_start=$SECONDS
  set +e
  (cd "$dir" && wine_run "$timeout_s" ./marrowfold_tests.exe --gtest_brief=1) >"$log" 2>&1
  rc=$?
  set -e
  took=$((SECONDS - run_start))
  # GoogleTest's own totals: "[==========] 214 tests from 53 test suites
  # ran. (50255 ms total)", "[  PASSED  ] 211 tests.", "[  SKIPPED ] 3 tests".
  ran=$(sed -n 's/^\[==========\] \([0-9]*\) tests\{0,1\} from.*(\([0-9]*\) ms total).*/\1 \2/p' "$log" | tail -1)
  passed=$(sed -n 's/^\[  PASSED  \] \([0-9]*\) tests\{0,1\}\..*/\1/p' "$log" | tail -1)
  skipped=$(sed -n 's/^\[  SKIPPED \] \([0-9]*\) tests\{0,1\}.*/\1/p' "$log" | tail -1)
  if [ "$rc" -ne 0 ] || [ -z "$passed" ]; then
    cat "$log"
    [ "$rc" -eq 124 ] && echo "windows_unit_tests: $dir: no end after $timeout_s s" >&2
    echo "windows_unit_tests: $dir: FAILED (exit $rc) after $took s" >&2
    status=1
  else
    echo "windows_unit_tests: $dir: ${ran%% *} tests, $passed passed, ${skipped:-0} skipped;" \
      "$((${ran##* } / 1000)) s in the tests, $took s under Wine"
  fi
done
echo "windows_unit_tests: $((SECONDS - start)) s in all"
exit $status
