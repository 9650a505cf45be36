#!/usr/bin/env bash
# Installs the build into a scratch prefix and checks the installed layout: the programs find
# their libraries in ../lib/varnelt and judge an archive.
# Usage: check_install.sh <build folder>
set -euo pipefail
build="$1"
prefix="$(mktemp -d)"
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null

for file in bin/varnelt bin/varnelt-check share/varnelt/help/index.html share/applications/varnelt.desktop \
    share/icons/hicolor/scalable/apps/varnelt.svg share/icons/hicolor/48x48/apps/varnelt.png \
    share/man/man1/varnelt.1 share/man/man1/varnelt-check.1 \
    share/bash-completion/completions/varnelt-check; do
    [ -e "$prefix/$file" ] || { echo "missing $file" >&2; exit 1; }
done
[ -x "$prefix/lib/varnelt/varnelt-worker" ] || { echo "missing lib/varnelt/varnelt-worker" >&2; exit 1; }
for library in unlha32 unzip32 cab32 tar32 unrar32 bga32 7-zip32; do
    [ -f "$prefix/lib/varnelt/lib$library.so" ] || { echo "missing lib$library.so" >&2; exit 1; }
done

cd "$prefix"
printf 'content\n' > a.txt
zip -q -X a.zip a.txt
# Nothing else on the search path: only the installed folder can supply the libraries.
env -u LD_LIBRARY_PATH LANGUAGE=ja "$prefix/bin/varnelt-check" --formats zip a.zip > log.txt
grep -q '"a.zip",.*"正常な書庫ﾌｧｲﾙ"' log.txt
# The installed catalogue is the one an English locale finds.
[ -f "$prefix/share/varnelt/translations/varnelt_en.qm" ] || { echo "missing varnelt_en.qm" >&2; exit 1; }
env -u LD_LIBRARY_PATH LANGUAGE=en "$prefix/bin/varnelt-check" --formats zip a.zip > log.txt
grep -q '"a.zip",.*"Good archive"' log.txt || { echo "the installed program is not English" >&2; exit 1; }
# The installed page and completion are the ones that work: man finds the page by name under
# the prefix, and the completion loads and names its function.
page="$(MANPATH="$prefix/share/man" MANWIDTH=80 man varnelt-check 2>/dev/null)"
grep -q -- '--formats LIST' <<<"$page" || { echo "man finds no varnelt-check page" >&2; exit 1; }
registered="$(bash --norc -c 'source "$1" && complete -p varnelt-check' _ \
    "$prefix/share/bash-completion/completions/varnelt-check")"
grep -q -- '-F _varnelt_check varnelt-check$' <<<"$registered" ||
    { echo "the completion registers no function" >&2; exit 1; }
echo "1 passed, 0 failed"
