#!/usr/bin/env bash
# Builds Marrowfold, runs the main job once, then every test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/demo.sh
cd build
ctest --output-on-failure -j"$(nproc)"
