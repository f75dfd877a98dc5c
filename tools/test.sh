#!/usr/bin/env bash
# Builds and tests everything; non-zero exit on any failure, sanitizer report or fuzz crash.
#   tools/test.sh           installs missing packages, then: the build and the whole test suite
#                           (build/); the suite again under AddressSanitizer and UBSan, built with
#                           clang together with the fuzz targets (build-fuzz/: one instrumented build
#                           of the libraries for both); the threaded tests under ThreadSanitizer
#                           (build-tsan/); each fuzz target for 10 s on its seed corpus. Prints each
#                           stage's time.
#                           The build is made as one file per library (from scratch in half the time).
#   tools/test.sh --quick   for everyday use: builds only what the suite runs (not the benchmarks and
#                           tools), then runs the whole suite. A build/ made here for the first
#                           time is a unity build too; an existing one keeps its setting (one file
#                           per source rebuilds less after a small change).
set -euo pipefail
cd "$(dirname "$0")/.."
quick=0
[ "${1:-}" = "--quick" ] && quick=1
jobs=$(nproc)
stage() {
  local name=$1 start=$SECONDS
  shift
  echo "== $name"
  "$@"
  echo "== $name: $((SECONDS - start)) s"
}

if [ $quick -eq 1 ]; then
  tools/install-deps.sh
else
  tools/install-deps.sh --checks
fi
if [ $quick -eq 1 ] && [ -f build/CMakeCache.txt ]; then
  stage "build" tools/build.sh --targets qv_suite
elif [ $quick -eq 1 ]; then
  stage "build" tools/build.sh --targets qv_suite -DCMAKE_UNITY_BUILD=ON
else
  stage "build" tools/build.sh -DCMAKE_UNITY_BUILD=ON
fi
stage "tests" ctest --test-dir build --output-on-failure -j"$jobs"
[ $quick -eq 1 ] && exit 0

# The checking builds compile only what their tests need, at -O1 with line tables (cmake/QuorvelChecks.cmake).
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
configure() { # folder, options...
  local dir=$1
  shift
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Debug -DCMAKE_UNITY_BUILD=ON "${launcher[@]}" "$@" >/dev/null
}
supp="$PWD/tools/sanitizers"
export ASAN_OPTIONS="detect_leaks=1:strict_string_checks=1:check_initialization_order=1"
export LSAN_OPTIONS="suppressions=$supp/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"

# The same configuration as tools/fuzz.sh's, which then finds its targets built.
asanBuild() {
  configure build-fuzz -DCMAKE_CXX_COMPILER=clang++ -DQV_FUZZ=ON
  cmake --build build-fuzz -j"$jobs" --target qv_tests qv_fuzzers
}
tsanBuild() {
  configure build-tsan -DQV_SANITIZE=thread
  cmake --build build-tsan -j"$jobs" --target qv_threaded_tests
}
stage "asan+ubsan build" asanBuild
stage "asan+ubsan tests" ctest --test-dir build-fuzz --output-on-failure -j"$jobs"
stage "tsan build" tsanBuild
# Qt is not instrumented: tests/sanitizers/tsanqt.cpp teaches the sanitizer Qt's hand-overs, and
# tools/sanitizers/tsan-judge.sh fails on every report with an access made by our code.
tsanTests() {
  local logs="$PWD/build-tsan/tsan-logs"
  rm -rf "$logs"
  mkdir -p "$logs"
  # die_after_fork=0: a test starts the command with QProcess from its threads; the sanitizer would
  # otherwise end the test program there (with the status 0 given for reports), unnoticed.
  TSAN_OPTIONS="suppressions=$supp/tsan.supp:second_deadlock_stack=1:exitcode=0:die_after_fork=0:log_path=$logs/tsan" \
    ctest --test-dir build-tsan --output-on-failure -j"$jobs" -L threads
  shopt -s nullglob
  tools/sanitizers/tsan-judge.sh "$logs"/*
}
stage "tsan tests" tsanTests
stage "fuzz (a fixed 10 s or so a target)" tools/fuzz.sh --check
echo "all checks passed"
