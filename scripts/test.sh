#!/usr/bin/env bash
# The whole test suite from a clean checkout: set-up, build, every test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh "$@"
build_dir=${BUILD_DIR:-build}
export QT_QPA_PLATFORM=offscreen
# Qt keeps a few allocations for the life of the process; leak reports would only list those.
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0}
ctest --test-dir "$build_dir" --output-on-failure -j"$(nproc)"
