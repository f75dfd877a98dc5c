#!/usr/bin/env bash
# Installs the Debian packages that building and testing need, when any is missing; with --window
# also the Japanese fonts that the translated window shows.
set -euo pipefail
packages=(cmake g++ make pkg-config qt6-base-dev qt6-svg-dev qt6-tools-dev qt6-tools-dev-tools
          qt6-l10n-tools libfftw3-dev libtiff-dev libgl-dev)
[ "${1:-}" = "--window" ] && packages+=(fonts-noto-cjk)
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
