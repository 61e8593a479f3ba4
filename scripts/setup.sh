#!/usr/bin/env bash
# Installs what the build needs (Debian, as root) and builds into build/.
#   setup.sh          the command and the sample maker only
#   setup.sh --tests  everything, the tests and what they run (tmux) too
set -euo pipefail
cd "$(dirname "$0")/.."
tests=OFF
[ "${1:-}" = "--tests" ] && tests=ON

need=()
command -v cmake >/dev/null || need+=(cmake)
command -v g++ >/dev/null || need+=(g++)
command -v make >/dev/null || need+=(make)
[ -f /usr/include/zlib.h ] || need+=(zlib1g-dev)
if [ $tests = ON ]; then
  command -v gzip >/dev/null || need+=(gzip)
  command -v tmux >/dev/null || need+=(tmux)
  [ -f /usr/include/gtest/gtest.h ] || need+=(libgtest-dev googletest)
fi
if [ ${#need[@]} -gt 0 ]; then
  echo "installing: ${need[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq "${need[@]}" >/dev/null
fi

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=$tests >/dev/null
if [ $tests = ON ]; then
  cmake --build build -j"$(nproc)"
else
  cmake --build build -j"$(nproc)" --target marrowfold marrowfold-sample
fi
