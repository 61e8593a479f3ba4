#!/usr/bin/env bash
# Builds both Windows programs (i686 and x86_64) and runs the Windows tests
# under Wine: the unit suite for both, then the window tests (the 32-bit
# window on a virtual display, with screenshots under build-win32/, and the
# release zip unpacked and started).
# Where the kernel refuses 32-bit programs, both are still built, but only
# the x86_64 ones run: its unit suite, and the window tests on its window
# (screenshots under build-win64/); the zip's contents are still checked.
# Every run left out is named, with the reason.
set -euo pipefail
cd "$(dirname "$0")/.."
start=$SECONDS
bash scripts/windows_build.sh all
# Asked once here; the scripts below take the answer from the environment.
source scripts/wine_env.sh build-win32/wine
window_build=build-win32
if ! wine_runs_32bit; then
  window_build=build-win64
  echo "windows tests: the 32-bit programs are built but not run: $wine_no_32bit_reason"
fi
bash scripts/windows_unit_tests.sh
bash scripts/release.sh >/dev/null
if [ ! -f build/CMakeCache.txt ]; then
  bash scripts/setup.sh >/dev/null
elif [ ! -x build/marrowfold-sample ]; then
  cmake --build build --target marrowfold marrowfold-sample >/dev/null
fi
bash tests/win/window_test.sh "$(pwd)/build" "$(pwd)/$window_build"
if wine_runs_32bit; then
  echo "windows tests: $((SECONDS - start)) s"
else
  echo "windows tests: $((SECONDS - start)) s; not run: the i686 unit suite and the release" \
    "zip's program ($wine_no_32bit_reason)"
fi
