#!/usr/bin/env bash
# Submits the reconstruction of a CT-XAFS series to Slurm as job arrays: one array task per
# (data set, block of slices). Prints the job ids, one a line; with --wait among the sbatch options
# waits for every array and fails (status 1) when any task failed. With --align among the series'
# options a last job (series-align.sbatch) follows the arrays (--dependency=afterok: only when every
# task has ended well; cancelled otherwise) and aligns the energies: shifts.tsv, aligned.h5 and
# alignment.png in --out. With --hdf5 FILE the same last job follows: each task writes its block's
# slices into a file of its own (NAME-TAG.block003.h5), and the last job joins each energy's blocks
# into its NAME-TAG.h5 (a virtual dataset, no copy) and writes FILE over every energy, so that no two
# processes ever write one file. With --wait the script then waits for that job and fails when it does.
#
#   tools/slurm/submit-series.sh [SBATCH-OPTIONS --] QUORVEL-RECON-OPTIONS
#
#   tools/slurm/submit-series.sh --cpus-per-task=8 --mem=4G -o logs/%A_%a.out -- \
#       --series /data/Fe/projections --i0-files /data/Fe/i0 --bg /data/Fe/bg.img \
#       --cor 1024.5 --slices 0:2047 --block 64 --sub-folders energy --out /data/Fe/slices
#
# A series of HDF5 scan files (one per energy, each with its flats and darks): --series /data/Fe/scans
# --pattern '*.nxs' instead of the folder of images, --i0-files and --bg; one scan file alone: give the
# file instead of the --series folder.
#
# The tasks come from quorvel-recon itself (--list-tasks): sets × blocks, the blocks being --slices
# cut into pieces of --block slices; with --resume among the options only those whose files the
# output folder's manifests do not show complete. An array's indices stay below the cluster's
# MaxArraySize (scontrol show config): a larger series is submitted as several arrays, each task
# with the same options and outputs. Every task carries the task count and the fingerprint of the
# set list at submission, and refuses to run when the series has changed since. Offset-axis scans
# (--offset-axis auto|VALUE) pass through to every task like any option: with auto each task
# searches the axis of its set at the same five slices spread over --slices (not over its own
# block), so all tasks of a set find the same axis and print it. QUORVEL_RECON names
# the program (default: build/app/quorvel-recon of this checkout).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
recon=${QUORVEL_RECON:-$here/../../build/app/quorvel-recon}
sbatch_options=()
for arg in "$@"; do
  if [ "$arg" = "--" ]; then
    while [ "$1" != "--" ]; do sbatch_options+=("$1"); shift; done
    shift
    break
  fi
done
[ $# -gt 0 ] || { echo "usage: $0 [SBATCH-OPTIONS --] QUORVEL-RECON-OPTIONS" >&2; exit 2; }
wait_for_jobs=0
array_options=() # the sbatch options without --wait
for option in "${sbatch_options[@]}"; do
  case $option in
    --wait | -W) wait_for_jobs=1 ;;
    *) array_options+=("$option") ;;
  esac
done
# --align belongs to the last job: the tasks reconstruct, it aligns. With --hdf5 it joins the blocks'
# volume files (the tasks keep --hdf5: each writes its own block's file).
align=0
recon_options=()
last_options=()
for arg in "$@"; do
  case $arg in
    --align) align=1; last_options+=(--align) ;;
    --hdf5 | --hdf5=*) align=1; recon_options+=("$arg") ;;
    *) recon_options+=("$arg") ;;
  esac
done
set -- "${recon_options[@]}"
# The last job, after the arrays whose ids are given (none: at once); with --wait it is waited for.
submit_align() {
  local options=("${array_options[@]}")
  [ $# -gt 0 ] && options+=(--dependency="afterok:$(IFS=:; echo "$*")" --kill-on-invalid-dep=yes)
  [ "$wait_for_jobs" -eq 1 ] && options+=(--wait)
  sbatch --parsable "${options[@]}" "$here/series-align.sbatch" "$recon" "${recon_options[@]}" \
    ${last_options[@]+"${last_options[@]}"}
}

listing=$("$recon" "$@" --list-tasks)
read -r _ _ total _ fingerprint < <(grep '^# tasks ' <<<"$listing") || true
[ -n "${fingerprint:-}" ] || { echo "$0: quorvel-recon gave no task count" >&2; exit 1; }
mapfile -t todo < <(grep -v '^#' <<<"$listing" | cut -f1)
if [ "${#todo[@]}" -eq 0 ]; then
  echo "$0: nothing to submit: every task of the series is complete" >&2
  [ "$align" -eq 1 ] && { submit_align; exit; }
  exit 0
fi
max_array=$(scontrol show config 2>/dev/null | awk '$1 == "MaxArraySize" { print $3 }')
[[ "$max_array" =~ ^[0-9]+$ ]] && [ "$max_array" -gt 0 ] || max_array=1001
arrays=$(((${#todo[@]} + max_array - 1) / max_array))
echo "submitting ${#todo[@]} of $total tasks as $arrays array(s) of at most $max_array" \
  "$([ "$align" -eq 1 ] && echo "and the last job after them")" >&2

pids=()
ids=()
status=0
for ((first = 0; first < ${#todo[@]}; first += max_array)); do
  chunk=("${todo[@]:first:max_array}")
  list=$(IFS=,; echo "${chunk[*]}")
  submit=(sbatch --parsable --array=0-$((${#chunk[@]} - 1)) "${array_options[@]}")
  # With the alignment the arrays' ids are needed at once, for the last job: that one is waited for.
  [ "$wait_for_jobs" -eq 1 ] && [ "$align" -eq 0 ] && submit+=(--wait)
  submit+=("$here/series-array.sbatch" "$recon" "$list" "$@" --tasks-of "$total" --fingerprint "$fingerprint")
  if [ "$align" -eq 1 ]; then
    id=$("${submit[@]}") || { status=1; continue; }
    echo "$id"
    ids+=("${id%%;*}")
  elif [ "$wait_for_jobs" -eq 1 ]; then
    "${submit[@]}" &
    pids+=($!)
  else
    "${submit[@]}" || status=1
  fi
done
for pid in "${pids[@]}"; do
  wait "$pid" || status=1
done
if [ "$align" -eq 1 ]; then
  if [ "$status" -ne 0 ]; then
    echo "$0: an array was not submitted: the last job is not either" >&2
    exit 1
  fi
  submit_align "${ids[@]}" || status=1
fi
exit "$status"
