#!/usr/bin/env bash
# Installs what the build needs (Debian, as root) and builds into build/.
set -euo pipefail
cd "$(dirname "$0")/.."

need=()
command -v cmake >/dev/null || need+=(cmake)
command -v g++ >/dev/null || need+=(g++)
command -v make >/dev/null || need+=(make)
command -v gzip >/dev/null || need+=(gzip)
[ -f /usr/include/zlib.h ] || need+=(zlib1g-dev)
[ -f /usr/include/gtest/gtest.h ] || need+=(libgtest-dev googletest)
if [ ${#need[@]} -gt 0 ]; then
  echo "installing: ${need[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq "${need[@]}" >/dev/null
fi

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)"
