#!/usr/bin/env bash
# Builds both Windows programs (i686 and x86_64) and runs the Windows tests
# under Wine: the unit suite for both, then the window tests (the 32-bit
# window on a virtual display, with screenshots under build-win32/, and the
# release zip unpacked and started).
set -euo pipefail
cd "$(dirname "$0")/.."
start=$SECONDS
bash scripts/windows_build.sh all
bash scripts/windows_unit_tests.sh
bash scripts/release.sh >/dev/null
[ -x build/marrowfold-sample ] || cmake --build build --target marrowfold marrowfold-sample >/dev/null
bash tests/win/window_test.sh "$(pwd)/build" "$(pwd)/build-win32"
echo "windows tests: $((SECONDS - start)) s"
