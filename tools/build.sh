#!/usr/bin/env bash
# Configures and builds everything (program, tools, tests, benchmarks) in build/. Options are handed
# to CMake, e.g. tools/build.sh -DCMAKE_UNITY_BUILD=ON (one file per library: a build from scratch in
# about half the time, as CI does it).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
cmake --build build -j"$(nproc)"
