#!/usr/bin/env bash
# Builds the libFuzzer targets (build-fuzz) and runs every fuzz/fuzz_NAME.cpp
# for SECONDS (default 60) each, starting from fuzz/corpus/NAME. The corpus
# is copied first, so the repository stays as it was. Fails on the first
# target that crashes, hangs or breaks one of its checks; the input that did
# it is kept and its path printed.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}

if ! command -v clang++ >/dev/null || ! ls /usr/lib/llvm-14/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a >/dev/null 2>&1; then
  source scripts/apt_install.sh
  apt_install clang libclang-rt-14-dev
fi

cmake -S . -B build-fuzz -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DMARROWFOLD_FUZZ=ON \
  -DBUILD_TESTING=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-fuzz -j"$(nproc)"

work=$(mktemp -d)
status=0
for source in fuzz/fuzz_*.cpp; do
  target=$(basename "$source" .cpp)
  name=${target#fuzz_}
  mkdir -p "$work/$name/corpus" "$work/$name/artifacts"
  if [ -d "fuzz/corpus/$name" ]; then cp -R "fuzz/corpus/$name/." "$work/$name/corpus/"; fi
  echo "== $target: $seconds s"
  if ! "build-fuzz/fuzz/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -artifact_prefix="$work/$name/artifacts/" "$work/$name/corpus" >"$work/$name/log" 2>&1; then
    tail -n 40 "$work/$name/log"
    echo "FAIL $target; the input: $(ls "$work/$name/artifacts/"* 2>/dev/null | head -n 1)" >&2
    status=1
    break
  fi
  grep -E '^(#[0-9]+.*DONE|Done)|stat::' "$work/$name/log" | tail -n 3 || true
done
if [ "$status" -eq 0 ]; then
  rm -rf "$work"
  echo "all fuzz targets ran ${seconds} s each without a fault"
fi
exit "$status"
