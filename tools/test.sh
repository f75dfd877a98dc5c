#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite; non-zero exit on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
tools/build.sh
ctest --test-dir build --output-on-failure -j"$(nproc)"
