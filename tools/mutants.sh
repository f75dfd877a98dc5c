#!/usr/bin/env bash
# Runs the suite against deliberate faults. Each patch in tools/mutants/ (NAME.patch: a line or two
# of what the slip is, then its diff) is applied to a clean copy of the committed sources, what it
# touches is rebuilt, the tests whose programs changed are run, and the tests that failed are named,
# or "MISSED" when none did.
#   tools/mutants.sh [--suite REV] [NAME...]
#     NAME...      the named mutants (default: all of them)
#     --suite REV  the sources (program and tests) of commit REV instead of HEAD, e.g. to compare the
#                  suite of an older commit with today's on the same faults
# The copy and its build live in build-mutants/ (or $QV_MUTANTS_WORK) and are kept between runs:
# a run checks the copy out at its commit and rebuilds only what differs. Each line of the output is
# also written to build-mutants/results-REV.txt. The unmutated suite runs first, and nothing is judged
# when it fails. A test program that runs past QV_MUTANT_TIMEOUT seconds (300) is stopped: a mutant
# that only hangs a test is reported "TIMED OUT", apart from the caught and the missed ones.
# Exit status: 0 when every mutant was caught by a failing test.
# Not part of CI: a run over every mutant takes about an hour on two cores.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
rev=HEAD
if [ "${1:-}" = "--suite" ]; then
  rev=$2
  shift 2
fi
commit=$(git rev-parse --verify "$rev^{commit}")
work=${QV_MUTANTS_WORK:-$root/build-mutants}
results=$work/results-${commit:0:10}.txt
src=$work/src
build=$src/build # beside the sources as in a plain build, so that ccache finds the same paths
jobs=$(nproc)
limit=${QV_MUTANT_TIMEOUT:-300} # seconds a test program of a mutant may run

names=("$@")
if [ ${#names[@]} -eq 0 ]; then
  for p in tools/mutants/*.patch; do names+=("$(basename "$p" .patch)"); done
fi
for name in "${names[@]}"; do
  [ -f "tools/mutants/$name.patch" ] || { echo "$name: no such mutant" >&2; exit 2; }
done

mkdir -p "$work"
[ -e "$src/.git" ] || git worktree add --detach "$src" "$commit" >/dev/null
pristine() {
  git -C "$src" checkout -q --detach "$commit"
  git -C "$src" reset -q --hard
  git -C "$src" clean -qfd
}
pristine
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
generator=()
[ -f "$build/CMakeCache.txt" ] || { command -v ninja >/dev/null && generator=(-G Ninja); }
cmake -S "$src" -B "$build" "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" >/dev/null
build_suite() { cmake --build "$build" -j"$jobs" --target qv_suite; }
echo "== building the unmutated copy of ${commit:0:10}"
build_suite >"$work/pristine.build.log" 2>&1 || { echo "the unmutated copy does not build" >&2; exit 2; }
# A failing or flaky test would "catch" every mutant: the unmutated suite must pass first.
echo "== running the unmutated suite"
if ! ctest --test-dir "$build" -j"$jobs" --timeout "$limit" >"$work/pristine.test.log" 2>&1; then
  echo "the unmutated suite fails (see $work/pristine.test.log); no mutant can be judged:" >&2
  sed -n 's/^[[:space:]]*[0-9]* - \([^ ]*\) (\(.*\))$/  \1 (\2)/p' "$work/pristine.test.log" >&2
  exit 2
fi

# A test is run when its program, or a program it starts, was rebuilt for the mutant.
ctest --test-dir "$build" --show-only=json-v1 >"$work/tests.json"
tests_using() { # rebuilt files (one per line on stdin) -> names of the tests to run
  python3 -c '
import json, os, sys
rebuilt = {os.path.realpath(l.strip()) for l in sys.stdin if l.strip()}
started = {"headless": "app/quorvel", "offsetaxisrun": "app/quorvel", "series": "app/quorvel-recon"}
build = os.path.dirname(sys.argv[1]) + "/src/build/"
for t in json.load(open(sys.argv[1]))["tests"]:
    paths = [os.path.realpath(c) for c in t.get("command", [])]
    if t["name"] in started:
        paths.append(os.path.realpath(build + started[t["name"]]))
    if any(p in rebuilt for p in paths):
        print(t["name"])
' "$work/tests.json"
}

missed=0
caughtCount=0
timedOut=0
: >"$results"
report() { echo "$1" | tee -a "$results"; }
for name in "${names[@]}"; do
  pristine
  if ! git -C "$src" apply "$root/tools/mutants/$name.patch"; then
    report "$name: DOES NOT APPLY"
    missed=$((missed + 1))
    continue
  fi
  touch "$work/stamp"
  sleep 1 # file times of the rebuilt programs must be later than the stamp's
  if ! build_suite >"$work/$name.build.log" 2>&1; then
    report "$name: DOES NOT BUILD"
    missed=$((missed + 1))
    continue
  fi
  mapfile -t run < <(find "$build" -type f -perm -u+x -newer "$work/stamp" | tests_using)
  caught=""
  hung=""
  if [ ${#run[@]} -gt 0 ]; then
    regex="^($(IFS='|'; echo "${run[*]}"))\$"
    ctest --test-dir "$build" -j"$jobs" --timeout "$limit" -R "$regex" >"$work/$name.test.log" 2>&1 || true
    caught=$(sed -n 's/^[[:space:]]*[0-9]* - \([^ ]*\) (Failed)$/\1/p; s/^[[:space:]]*[0-9]* - \([^ ]*\) (SEGFAULT\|Subprocess aborted\|Child aborted\|Exception)$/\1/p' \
      "$work/$name.test.log" | sort -u | tr '\n' ' ')
    hung=$(sed -n 's/^[[:space:]]*[0-9]* - \([^ ]*\) (Timeout)$/\1/p' "$work/$name.test.log" | sort -u | tr '\n' ' ')
  fi
  if [ -n "$caught" ]; then
    report "$name: caught by ${caught% }${hung:+ (timed out: ${hung% })}"
    caughtCount=$((caughtCount + 1))
  elif [ -n "$hung" ]; then
    report "$name: TIMED OUT (${hung% } ran past ${limit} s)"
    timedOut=$((timedOut + 1))
  else
    report "$name: MISSED (ran ${#run[@]} tests)"
    missed=$((missed + 1))
  fi
done
pristine
# Rebuild the unmutated programs so that the next run starts from them.
build_suite >/dev/null 2>&1 || true
echo "== of ${#names[@]} mutants: $caughtCount caught, $missed missed, $timedOut timed out" | tee -a "$results"
[ $missed -eq 0 ] && [ $timedOut -eq 0 ]
