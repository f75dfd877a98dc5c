#!/usr/bin/env bash
# Installs what is missing, builds, writes the demo data set, reconstructs a range of its slices with
# an unattended batch run (no display needed), its CT-XAFS series with the command, and a CT-XAFS
# series with drift across the iron K edge, aligned across its energies, with its chemical-state
# maps; with a display it then opens the window on the same data, set up and ready to calculate.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh --window
# Only the programs the demo runs: the tests and benchmarks are built by tools/test.sh.
tools/build.sh --targets quorvel,quorvel-recon,quorvel-xanes,quorvel-demo -DCMAKE_UNITY_BUILD=ON
data="$PWD/demo/data"
slices="$data/slices"
build/tools/quorvel-demo "$data"
rm -rf "$slices"

# The settings of the demo data: vertical rotation axis, I0 and BG, the guessed centre of rotation.
settings="ct_rot_ax_is_v 1
images_load \"$data/projections\" *.img
i0_load \"$data/i0.img\"
bg_load \"$data/bg.img\"
ct_guess_cor"

cat > demo/reconstruct.bat <<EOF
# Reconstructs every second slice from 64 to 192 of the demo data and saves each as a CT image data
# file and a PNG image. Written by demo/run.sh, which runs it with
#   build/app/quorvel -nw -b demo/reconstruct.bat -x
$settings
ct_auto_exec 1
ct_slice_from 64
ct_slice_to 192
ct_slice_step 2
auto_save_in_sub_folders 0
auto_save_data 1
auto_save_data_path "$slices"
auto_save_data_name demo
auto_save_data_tag E0
auto_save_image 1
auto_save_image_path "$slices"
auto_save_image_name demo
auto_save_image_tag E0
calc_exec
app_quit
EOF

cat > demo/open.bat <<EOF
# Sets the window up for the demo data: "Calc" then reconstructs the current slice. Written by
# demo/run.sh, which opens the window with
#   build/app/quorvel -d demo/data -b demo/open.bat -x
$settings
show_ct1
EOF

build/app/quorvel -nw -b demo/reconstruct.bat -x
echo "Reconstructed slices (CT image data files and PNG images): $slices"
# The CT-XAFS series: every energy with its own I0, each energy's files in a folder of its own.
rm -rf "$data/xafs/slices"
build/app/quorvel-recon --series "$data/xafs/projections" --i0-files "$data/xafs/i0" --bg "$data/xafs/bg.img" \
  --axis v --cor guess --slices 32:96:8 --sub-folders energy --name demo --out "$data/xafs/slices" >/dev/null
echo "Reconstructed CT-XAFS series (one folder per energy): $data/xafs/slices"
# The XANES series: 37 energies across the iron K edge while the sample drifts up to 2 pixels; each
# energy reconstructed as float TIFF slices in a folder of its own, then the energies aligned.
rm -rf "$data/xanes"
build/tools/quorvel-demo --xanes "$data/xanes" >/dev/null
build/app/quorvel-recon --series "$data/xanes/projections" --i0-files "$data/xanes/i0" --bg "$data/xanes/bg.img" \
  --axis v --cor 65 --slices 0:63 --sub-folders energy --tiff --no-png --no-data --name demo \
  --out "$data/xanes/slices" --align >/dev/null
echo "Aligned CT-XAFS series (37 energies, the drift in $data/xanes/drift.tsv): $data/xanes/slices/aligned.h5,"
echo "  its shifts in shifts.tsv and the middle slice before and after in alignment.png"
# Its chemical-state maps from the aligned series: the demo has only three energies in the default
# pre-edge range (-30 to -10 eV), too few to take the pre-edge line and its noise well; seven from -72 eV.
build/app/quorvel-xanes "$data/xanes/slices/aligned.h5" --out "$data/xanes/maps" --edge 7112 --pre=-72:-10 \
  --standards "metal=$data/xanes/standards/metal.txt,oxide=$data/xanes/standards/oxide.txt" >/dev/null
echo "Chemical-state maps (the inserts' shares of the two species in $data/xanes/composition.tsv):"
echo "  $data/xanes/maps/ (fraction-metal.tif, fraction-oxide.tif, edge_energy.tif, ..., maps.h5 and a picture of each)"
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  exec build/app/quorvel -d "$data" -b demo/open.bat -x
else
  echo "No display: the demo data are in $data (projections/, i0.img, bg.img; the series in xafs/);"
  echo "open them in the window, set up for them, with: build/app/quorvel -d $data -b demo/open.bat -x"
fi
