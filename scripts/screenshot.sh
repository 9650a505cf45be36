#!/usr/bin/env bash
# Takes docs/screenshot.png: the window under a virtual display, after a run over a few
# archives made here. "screenshot.sh en" takes the English window, docs/screenshot-en.png.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
language="${1:-ja}"
case "$language" in
    ja) picture="$here/docs/screenshot.png" ;;
    en) picture="$here/docs/screenshot-en.png" ;;
    *) echo "usage: $0 [ja|en]" >&2; exit 2 ;;
esac
work="$(mktemp -d)"
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT
mkdir -p "$work/archives" "$work/config"
(
    cd "$work/archives"
    printf 'report\n' > report.txt && zip -q -X report.zip report.txt
    printf 'a\n' > a.txt && printf 'b\n' > b.txt && zip -q -X pair.zip a.txt b.txt
    tar czf photos.tgz a.txt && cp report.zip wrong-name.lzh
    printf 'damaged' > damaged.zip
    rm -f ./*.txt
)
export XDG_CONFIG_HOME="$work/config" LC_ALL=C.UTF-8 LANGUAGE="$language"
# The whole screen, the TAR format and the extension rule on: every kind of verdict shows.
mkdir -p "$work/config/varnelt"
printf '[Position]\nLeft=0\nTop=0\nWidth=13500\nHeight=8400\n[Archive]\nLHA=1\nZIP=1\nTAR=1\n[BadFile]\nBadNoExt=1\n' \
    > "$work/config/varnelt/varnelt.ini"
# A display of its own, on whatever number is free.
exec 3< <(Xvfb -displayfd 1 -screen 0 900x560x24 2>/dev/null)
read -r display <&3
export DISPLAY=":$display"
"${VARNELT_BUILD:-$here/build}/bin/varnelt" "$work/archives" &
sleep 2
id="$(xdotool search --onlyvisible --name '^Varnelt$' | tail -n 1)"
xdotool windowfocus --sync "$id"
xdotool key alt+s
sleep 2
import -window "$id" "$picture"
echo "wrote $picture"
