#!/usr/bin/env bash
# Builds both Windows programs (i686 and x86_64) and runs the Windows tests
# under Wine: the unit suite of both builds, then the window tests on the
# i686 marrowfold.exe (a virtual display, screenshots under
# build-win32/window-test/), with the release zip unpacked and both of its
# programs started.
# The 32-bit programs run natively where the kernel runs 32-bit code, and
# elsewhere through qemu-i386 in a namespace of their own (scripts/wine32.sh);
# a real PE32 program tells which (wine_check_32bit). Where neither works,
# only the x86_64 programs run: the window tests on build-win64/, the zip's
# contents still checked; every run left out is named, with the reason.
#   MARROWFOLD_WINE32_VIA=native|qemu   only that way (default: native, then qemu)
# Every step runs; the status is 0 when all passed. The last lines sum up.
set -euo pipefail
cd "$(dirname "$0")/.."
start=$SECONDS
summary=()
failed=0
note() {
  echo "windows tests: $*"
  summary+=("$*")
}

t=$SECONDS
bash scripts/windows_build.sh all
note "both builds: $((SECONDS - t)) s"

t=$SECONDS
bash scripts/release.sh >/dev/null
if [ ! -f build/CMakeCache.txt ]; then
  bash scripts/setup.sh >/dev/null
elif [ ! -x build/marrowfold-sample ]; then
  cmake --build build --target marrowfold marrowfold-sample >/dev/null
fi
note "the release zip and the Linux programs: $((SECONDS - t)) s"

# Asked once here; the scripts below take the answer from the environment.
t=$SECONDS
source scripts/wine_env.sh build-win32/wine
if wine_runs_32bit; then
  window_build=build-win32
  note "32-bit programs run $MARROWFOLD_WINE32_HOW: $((SECONDS - t)) s"
else
  window_build=build-win64
  note "the 32-bit programs are built but not run: $wine_no_32bit_reason"
fi

log=$(mktemp)
trap 'rm -f "$log"' EXIT
t=$SECONDS
if bash scripts/windows_unit_tests.sh 2>&1 | tee "$log"; then
  while IFS= read -r line; do note "unit suite ${line#windows_unit_tests: }"; done \
    < <(grep -E '^windows_unit_tests: build-win(32|64): ' "$log")
else
  failed=1
  note "unit suites: FAILED ($(grep -E '^windows_unit_tests: build-win(32|64): ' "$log" |
    sed 's/^windows_unit_tests: //' | tr '\n' ' '))"
fi
note "unit suites: $((SECONDS - t)) s"

t=$SECONDS
arch=$(wine_pe_arch "$window_build/marrowfold.exe")
if bash tests/win/window_test.sh "$(pwd)/build" "$(pwd)/$window_build" 2>&1 | tee "$log"; then
  note "window tests on the $arch marrowfold.exe: passed, $(grep -c '^ok: ' "$log") checks"
else
  failed=1
  note "window tests on the $arch marrowfold.exe: FAILED: $(grep -c '^FAIL: ' "$log") of" \
    "$(grep -c -E '^(ok|FAIL): ' "$log") checks"
fi
zip_line=$(grep -E '^release zip: ' "$log" | tail -n1 || true)
[ -z "$zip_line" ] || note "${zip_line}"
note "window tests: $((SECONDS - t)) s"

if ! wine_runs_32bit; then
  note "not run: the i686 unit suite, the window tests on the i686 build and the release" \
    "zip's programs ($wine_no_32bit_reason)"
fi
echo
printf 'windows tests: %s\n' "${summary[@]}"
echo "windows tests: $((SECONDS - start)) s in all$([ "$failed" -eq 0 ] || echo ', FAILED')"
exit "$failed"
