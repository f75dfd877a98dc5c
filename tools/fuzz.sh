#!/usr/bin/env bash
# Builds the fuzz targets with clang in build-fuzz/ and runs each for SECONDS (default 60) from its
# seed corpus tests/fuzz/corpus/NAME/ (with the dictionary tests/fuzz/NAME.dict when there is one).
# Inputs that reach new code are kept in build-fuzz/corpus/NAME/, failing inputs in
# build-fuzz/crashes/; exits non-zero when any target crashes, leaks, hangs or trips a sanitizer.
#   tools/fuzz.sh [SECONDS] [NAME ...]      (all targets when no NAME is given)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=60
if [[ "${1:-}" =~ ^[0-9]+$ ]]; then
  seconds=$1
  shift
fi
build="$PWD/build-fuzz" # absolute: a target may change its working folder
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S . -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=Debug -DQV_FUZZ=ON \
  -DCMAKE_UNITY_BUILD=ON "${launcher[@]}" >/dev/null
cmake --build "$build" -j"$(nproc)" --target qv_fuzzers

names=("$@")
if [ ${#names[@]} -eq 0 ]; then
  for dir in tests/fuzz/corpus/*/; do names+=("$(basename "$dir")"); done
fi
mkdir -p "$build/crashes"
failed=()
for name in "${names[@]}"; do
  exe="$build/tests/fuzz/fuzz_$name"
  [ -x "$exe" ] || { echo "fuzz.sh: no fuzz target $name" >&2; exit 2; }
  mkdir -p "$build/corpus/$name"
  options=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=16384 -print_final_stats=1
           -artifact_prefix="$build/crashes/$name-")
  [ -f "tests/fuzz/$name.dict" ] && options+=(-dict="$PWD/tests/fuzz/$name.dict")
  log="$build/fuzz-$name.log"
  if ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
      LSAN_OPTIONS="${LSAN_OPTIONS:-suppressions=$PWD/tools/sanitizers/lsan.supp:print_suppressions=0}" \
      "$exe" "${options[@]}" "$build/corpus/$name" "$PWD/tests/fuzz/corpus/$name" >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    echo "fuzz $name: ${seconds} s, ${runs:-?} runs, no failure"
  else
    echo "fuzz $name: FAILED (log $log)"
    grep -E "^(==[0-9]+==ERROR|SUMMARY|.*runtime error|artifact_prefix|Test unit written|ALARM)" "$log" | head -20 || true
    failed+=("$name")
  fi
done
[ ${#failed[@]} -eq 0 ] || { echo "fuzz targets that failed: ${failed[*]}"; exit 1; }
