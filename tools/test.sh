#!/usr/bin/env bash
# Builds everything and runs every test; ends with ctest's summary.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
build=build/test
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build"
ctest --test-dir "$build" --output-on-failure --timeout 300 -j2
