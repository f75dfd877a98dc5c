#!/usr/bin/env bash
# Installs what is missing, builds, writes the demo data set and opens it in the window
# (without a display it says where the data and the program are).
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
tools/build.sh
data="$PWD/demo/data"
build/tools/quorvel-demo "$data"
if [ -n "${DISPLAY:-}" ]; then
  exec build/app/quorvel -d "$data"
else
  echo "No display: the demo data are in $data (projections/, i0.img, bg.img)"
  echo "and the program is $PWD/build/app/quorvel; run it with: build/app/quorvel -d $data"
fi
