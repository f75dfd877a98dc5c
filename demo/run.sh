#!/usr/bin/env bash
# Installs what is missing, builds, writes the demo data set, reconstructs a range of its slices
# headless and opens the data in the window (without a display it says where everything is).
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh --window
tools/build.sh
data="$PWD/demo/data"
slices="$data/slices"
build/tools/quorvel-demo "$data"
rm -rf "$slices"
build/app/quorvel-recon "$data/projections" --i0 "$data/i0.img" --bg "$data/bg.img" --axis v \
  --cor guess --slices 64:192:2 --out "$slices" --name demo --tag E0
echo "Reconstructed slices (CT image data files and PNG images): $slices"
# The CT-XAFS series: every energy with its own I0, each energy's files in a folder of its own.
rm -rf "$data/xafs/slices"
build/app/quorvel-recon --series "$data/xafs/projections" --i0-files "$data/xafs/i0" --bg "$data/xafs/bg.img" \
  --axis v --cor guess --slices 32:96:8 --sub-folders energy --name demo --out "$data/xafs/slices" >/dev/null
echo "Reconstructed CT-XAFS series (one folder per energy): $data/xafs/slices"
if [ -n "${DISPLAY:-}" ]; then
  exec build/app/quorvel -d "$data"
else
  echo "No display: the demo data are in $data (projections/, i0.img, bg.img; the series in xafs/);"
  echo "open them in the window with: build/app/quorvel -d $data"
fi
