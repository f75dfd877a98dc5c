#!/usr/bin/env bash
# Refreshes translations/quorvel_ja_JP.ts from the sources and forms (existing translations are kept).
set -euo pipefail
cd "$(dirname "$0")/.."
lupdate=/usr/lib/qt6/bin/lupdate
[ -x "$lupdate" ] || lupdate=lupdate
"$lupdate" -locations none -no-obsolete app config recon ct imagedata widgets automation link view3d xafs forms \
  -ts translations/quorvel_ja_JP.ts
