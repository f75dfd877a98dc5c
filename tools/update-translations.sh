#!/usr/bin/env bash
# Refreshes translations/quorvel_ja_JP.ts from the sources and forms (existing translations are kept),
# messages written with QV_SAID / QV_SAID_IN (config/saidtext.h) among them.
set -euo pipefail
cd "$(dirname "$0")/.."
lupdate=/usr/lib/qt6/bin/lupdate
[ -x "$lupdate" ] || lupdate=lupdate
"$lupdate" -locations none -no-obsolete -tr-function-alias tr+=QV_SAID,translate+=QV_SAID_IN app config recon ct imagedata widgets automation link view3d xafs forms \
  -ts translations/quorvel_ja_JP.ts
