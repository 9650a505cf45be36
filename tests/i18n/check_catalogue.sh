#!/usr/bin/env bash
# The English catalogue holds every text of the sources, each finished, and nothing else:
# lupdate run over the sources into a scratch copy must change nothing in it.
# Usage: check_catalogue.sh <source folder>
set -euo pipefail
source_dir="$1"
lupdate="${LUPDATE:-/usr/lib/qt6/bin/lupdate}"
if [ ! -x "$lupdate" ]; then
    echo "skipped: lupdate is not installed (qt6-l10n-tools)"
    exit 77
fi
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
committed="$source_dir/i18n/varnelt_en.ts"
cp "$committed" "$scratch/varnelt_en.ts"
LUPDATE="$lupdate" "$source_dir/scripts/update-translations.sh" "$scratch/varnelt_en.ts"
status=0
if grep -n 'type="\(unfinished\|vanished\|obsolete\)"' "$scratch/varnelt_en.ts" >&2; then
    echo "the catalogue has unfinished or vanished entries (above)" >&2
    status=1
fi
if ! diff -u "$committed" "$scratch/varnelt_en.ts" >&2; then
    echo "lupdate changes the catalogue: run scripts/update-translations.sh and translate" >&2
    status=1
fi
[ "$status" -eq 0 ] && echo "1 passed, 0 failed"
exit "$status"
