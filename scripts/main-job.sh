#!/usr/bin/env bash
# The main job: build the program and make a mosaic from the embedded sample content.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
out=${1:-$PWD/out/sample-mosaic.jpg}
mkdir -p "$(dirname "$out")"
build/bin/vantorel-cli make --out "$out" --project "$(dirname "$out")/sample-project"
echo "mosaic written to $out"
