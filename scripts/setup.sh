#!/usr/bin/env bash
# Installs what the build needs (Debian, as root) and builds into build/.
#   setup.sh          the command and the sample maker only
#   setup.sh --tests  everything, the tests and what they run (tmux, time) too
#   setup.sh --bench  only the packages bench/run needs; it builds for itself
set -euo pipefail
cd "$(dirname "$0")/.."
tests=OFF
bench=OFF
[ "${1:-}" = "--tests" ] && tests=ON
[ "${1:-}" = "--bench" ] && bench=ON

need=()
command -v cmake >/dev/null || need+=(cmake)
command -v g++ >/dev/null || need+=(g++)
command -v make >/dev/null || need+=(make)
[ -f /usr/include/zlib.h ] || need+=(zlib1g-dev)
if [ $tests = ON ]; then
  command -v gzip >/dev/null || need+=(gzip)
  command -v tmux >/dev/null || need+=(tmux)
  command -v pgrep >/dev/null || need+=(procps)
  [ -f /usr/include/gtest/gtest.h ] || need+=(libgtest-dev googletest)
fi
if [ $tests = ON ] || [ $bench = ON ]; then
  [ -x /usr/bin/time ] || need+=(time)
fi
if [ $bench = ON ]; then
  command -v gzip >/dev/null || need+=(gzip)
  [ -f /usr/include/benchmark/benchmark.h ] || need+=(libbenchmark-dev)
fi
if [ ${#need[@]} -gt 0 ]; then
  echo "installing: ${need[*]}"
  source scripts/apt_install.sh
  apt_install "${need[@]}"
fi
[ $bench = ON ] && exit 0

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=$tests >/dev/null
if [ $tests = ON ]; then
  cmake --build build -j"$(nproc)"
else
  cmake --build build -j"$(nproc)" --target marrowfold marrowfold-sample
fi
