#!/usr/bin/env bash
# Submits the reconstruction of a CT-XAFS series as one Slurm job array: one array task per
# (data set, block of slices). Prints the job id (or, with --wait, waits for the array like sbatch).
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
# The number of tasks comes from quorvel-recon itself (--list-tasks): sets × blocks, the blocks being
# --slices cut into pieces of --block slices. Slurm distributes, retries and accounts for the tasks;
# each task reads only its block's lines of its set's projections. QUORVEL_RECON names the program
# (default: build/app/quorvel-recon of this checkout).
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
listing=$("$recon" "$@" --list-tasks)
tasks=$(grep -vc '^#' <<<"$listing" || true)
[ "$tasks" -gt 0 ] || { echo "$0: the series has no task" >&2; exit 1; }
echo "submitting $tasks tasks" >&2
exec sbatch --parsable --array=0-$((tasks - 1)) "${sbatch_options[@]}" "$here/series-array.sbatch" \
  "$recon" "$@" --tasks-of "$tasks"
