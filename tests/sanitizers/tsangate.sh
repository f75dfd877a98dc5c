#!/usr/bin/env bash
# Runs the gate program clean and racy under ThreadSanitizer and judges both logs: the clean run
# must leave nothing that counts, the racy one must be caught.
#   tsangate.sh PROGRAM JUDGE SUPPRESSIONS
set -euo pipefail
program=$1 judge=$2 suppressions=$3
logs=$(mktemp -d)
trap 'rm -rf "$logs"' EXIT
for mode in clean racy; do
  mkdir "$logs/$mode"
  TSAN_OPTIONS="suppressions=$suppressions:exitcode=0:log_path=$logs/$mode/tsan" "$program" "$mode"
done
shopt -s nullglob
if ! "$judge" "$logs"/clean/*; then
  echo "FAIL: a correct hand-over between threads was reported"
  exit 1
fi
if "$judge" "$logs"/racy/* >/dev/null; then
  echo "FAIL: an unguarded counter written by two threads was not reported"
  exit 1
fi
echo "ThreadSanitizer gate: hand-overs pass, the race is caught"
