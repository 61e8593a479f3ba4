#!/usr/bin/env bash
# Builds the marrowfold command, makes a sample drawing with image
# references (relative, missing, inside a block definition, already
# embedded) and converts it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

out=out/demo
rm -rf "$out"
mkdir -p "$out/converted" "$out/home"
build/marrowfold-sample "$out/drawings"
echo "== converting"
build/marrowfold --home "$out/home" --dest-dir "$out/converted" "$out/drawings/sample.jww"
echo "== what the converted drawing holds"
build/marrowfold --info "$out/converted/sample.jww"
