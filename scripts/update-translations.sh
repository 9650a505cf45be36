#!/usr/bin/env bash
# Brings the English catalogue (or the .ts file given) up to date with the sources' texts.
# Lines are not recorded, so that the catalogue changes only when a text does.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
ts="${1:-$here/i18n/varnelt_en.ts}"
lupdate="${LUPDATE:-/usr/lib/qt6/bin/lupdate}"
cd "$here"
"$lupdate" -silent -locations none -no-obsolete -source-language ja -target-language en \
    -I "$here" base checkers targets settings engine cli ui -ts "$ts"
