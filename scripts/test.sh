#!/usr/bin/env bash
# Builds Marrowfold, runs the main job once, then builds and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/demo.sh
bash scripts/setup.sh --tests
cd build
ctest --output-on-failure -j"$(nproc)"
