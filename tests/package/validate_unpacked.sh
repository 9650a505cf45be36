#!/usr/bin/env bash
# Validates the unpacked package's metadata with the freedesktop tools: `appstream` runs
# appstreamcli validate-tree (the metainfo file with the desktop entry it launches), `desktop`
# runs desktop-file-validate on the desktop entry. A tool that is not installed skips.
# Usage: validate_unpacked.sh <package> appstream|desktop
set -euo pipefail
# shellcheck source-path=SCRIPTDIR
source "$(dirname "$0")/common.sh"
case "$2" in
    appstream) command=(appstreamcli validate-tree --no-net) target=. ;;
    desktop) command=(desktop-file-validate) target=usr/share/applications/varnelt.desktop ;;
    *) echo "unknown validator $2" >&2; exit 2 ;;
esac
if ! command -v "${command[0]}" >/dev/null; then
    echo "${command[0]} is not installed: not validated" >&2
    exit 77
fi
unpack "$1"
# Any warning fails: appstreamcli exits non-zero on one, desktop-file-validate only prints it.
status=0
output="$(cd "$root" && "${command[@]}" "$target" 2>&1)" || status=$?
echo "$output"
check "${command[0]} accepts $target" [ "$status" -eq 0 ]
if [ "$2" = desktop ]; then
    check "desktop-file-validate has nothing to say" [ -z "$output" ]
fi
finish
