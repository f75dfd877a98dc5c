#!/usr/bin/env bash
# Builds the fuzz targets with clang in build-fuzz/ and runs each from its seed corpus
# tests/fuzz/corpus/NAME/ (with the dictionary tests/fuzz/NAME.dict and the options
# tests/fuzz/NAME.options when there are), failing inputs kept in build-fuzz/crashes/; exits non-zero
# when any target crashes, leaks, hangs or trips a sanitizer.
#   tools/fuzz.sh [SECONDS] [NAME ...]   explores for SECONDS (default 60) a target from a seed of
#                                        its own each time; inputs that reach new code are kept in
#                                        build-fuzz/corpus/NAME/ for the next run
#   tools/fuzz.sh --check [NAME ...]     what CI runs: a fixed number of inputs (about 10 s each on
#                                        two cores) from a fixed seed and the seed corpus alone, so
#                                        that a run here and one on a fresh machine try largely the
#                                        same inputs (where threads or timing steer a target, some
#                                        differ: the HDF5 target's CI run met a fault that runs here
#                                        had not); what exploring finds is mended, then joins the
#                                        seeds
# All targets when no NAME is given.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=60
check=0
if [ "${1:-}" = "--check" ]; then
  check=1
  shift
elif [[ "${1:-}" =~ ^[0-9]+$ ]]; then
  seconds=$1
  shift
fi
# Inputs per target in a check: the rates differ a thousandfold between the targets.
declare -A checkRuns=([batch]=30000 [config]=130000 [hdf5]=1500 [hdf5probe]=60 [itex]=150000 [link]=300000
                      [reconoptions]=8000 [slicetext]=1200000 [standards]=400000 [tiff]=75000
                      [xanesfields]=120000)
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
  options=(-timeout=10 -rss_limit_mb=2048 -max_len=16384 -print_final_stats=1
           -artifact_prefix="$build/crashes/$name-")
  if [ $check -eq 1 ]; then
    [ -n "${checkRuns[$name]:-}" ] || { echo "fuzz.sh: no number of inputs for $name" >&2; exit 2; }
    corpus="$build/check-corpus/$name"
    rm -rf "$corpus"
    options+=(-seed=1 -runs="${checkRuns[$name]}")
  else
    corpus="$build/corpus/$name"
    options+=(-max_total_time="$seconds")
  fi
  mkdir -p "$corpus"
  [ -f "tests/fuzz/$name.dict" ] && options+=(-dict="$PWD/tests/fuzz/$name.dict")
  [ -f "tests/fuzz/$name.options" ] && mapfile -t -O ${#options[@]} options < <(grep -v -e '^#' -e '^$' "tests/fuzz/$name.options")
  log="$build/fuzz-$name.log"
  start=$SECONDS
  # QT_HASH_SEED: Qt's hashes in one order on every run, for the check's same inputs.
  if QT_HASH_SEED=0 ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
      LSAN_OPTIONS="${LSAN_OPTIONS:-suppressions=$PWD/tools/sanitizers/lsan.supp:print_suppressions=0}" \
      "$exe" "${options[@]}" "$corpus" "$PWD/tests/fuzz/corpus/$name" >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    echo "fuzz $name: $((SECONDS - start)) s, ${runs:-?} runs, no failure"
  else
    echo "fuzz $name: FAILED (log $log)"
    grep -E "^(==[0-9]+==ERROR|SUMMARY|.*runtime error|artifact_prefix|Test unit written|ALARM)" "$log" | head -20 || true
    failed+=("$name")
  fi
done
[ ${#failed[@]} -eq 0 ] || { echo "fuzz targets that failed: ${failed[*]}"; exit 1; }
