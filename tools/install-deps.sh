#!/usr/bin/env bash
# Installs the Debian packages that building and testing need, when any is missing. Options:
#   --window  also the Japanese fonts that the translated window shows, and an X server in memory with
#             a screen grabber for the README's pictures (xvfb-run, import -window root);
#   --checks  also clang and its runtime, for the fuzz targets of tools/test.sh and tools/fuzz.sh
#             (the sanitizer builds use g++ and need nothing more).
# Slurm and munge are for the test that runs a series on a one-node cluster (no daemon is started
# here: the test starts its own). hdf5-filter-plugin lets the HDF5 library read LZ4- and
# bzip2-compressed scan files; zlib and liblz4 let the program decode gzip and LZ4 chunks itself, on
# every core; hdf5-tools gives h5dump, with which a test reads a volume file while a run writes it.
# numpy and h5py are for bench/compare_xanes_numpy.py, run by hand.
set -euo pipefail
packages=(cmake g++ make lld pkg-config qt6-base-dev qt6-svg-dev qt6-tools-dev qt6-tools-dev-tools
          qt6-l10n-tools qt6-translations-l10n libfftw3-dev libtiff-dev libgl-dev
          libhdf5-dev hdf5-filter-plugin hdf5-tools zlib1g-dev liblz4-dev
          slurmctld slurmd slurm-client munge python3-numpy python3-h5py)
for option in "$@"; do
  case "$option" in
    --window) packages+=(fonts-noto-cjk xvfb x11-utils imagemagick) ;;
    --checks) packages+=(clang libclang-rt-14-dev) ;;
    *) echo "install-deps.sh: unknown option $option" >&2; exit 2 ;;
  esac
done
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
