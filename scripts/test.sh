#!/usr/bin/env bash
# Builds Marrowfold, runs the main job once, then builds and runs every test:
# the suite, the suite again under the address, leak and undefined-behaviour
# sanitizers, the Windows programs' tests under Wine, and every fuzz target
# for a minute from its committed corpus.
set -euo pipefail
cd "$(dirname "$0")/.."
start=$SECONDS
bash scripts/demo.sh
bash scripts/setup.sh --tests
(cd build && ctest --output-on-failure -j"$(nproc)")

cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DBUILD_TESTING=ON -DMARROWFOLD_SANITIZE=ON >/dev/null
cmake --build build-asan -j"$(nproc)"
(cd build-asan && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --output-on-failure -j"$(nproc)")

bash scripts/windows_tests.sh
bash scripts/fuzz.sh 60
echo "all tests: $((SECONDS - start)) s"
