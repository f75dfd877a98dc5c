#!/usr/bin/env bash
# Configures and builds in build/: everything (program, tools, tests, benchmarks), or with
# --targets T1,T2,... only those targets and what they need. Other options are handed to CMake, e.g.
# tools/build.sh -DCMAKE_UNITY_BUILD=ON (one file per library: a build from scratch in about half the
# time, as CI does it).
set -euo pipefail
cd "$(dirname "$0")/.."
targets=()
if [ "${1:-}" = "--targets" ]; then
  IFS=, read -r -a list <<<"$2"
  for t in "${list[@]}"; do targets+=(--target "$t"); done
  shift 2
fi
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" "$@" >/dev/null
cmake --build build -j"$(nproc)" "${targets[@]}"
