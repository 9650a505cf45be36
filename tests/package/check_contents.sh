#!/usr/bin/env bash
# Lists the package as dpkg-deb -c shows it: every part of the program in its place under
# /usr, all of it root's, folders and programs 755, the libraries and data 644, and nothing
# else writable by others or set-id.
# Usage: check_contents.sh <package> <archiver library file>...
set -euo pipefail
# shellcheck source-path=SCRIPTDIR
source "$(dirname "$0")/common.sh"
package="$1"
shift
check "the build names its archiver libraries" [ "$#" -gt 0 ]

declare -A wanted=(
    [usr/bin/varnelt]=-rwxr-xr-x
    [usr/bin/varnelt-check]=-rwxr-xr-x
    [usr/lib/varnelt/varnelt-worker]=-rwxr-xr-x
    [usr/share/varnelt/help/index.html]=-rw-r--r--
    [usr/share/applications/varnelt.desktop]=-rw-r--r--
    [usr/share/metainfo/io.github.varnelt.Varnelt.metainfo.xml]=-rw-r--r--
    [usr/share/icons/hicolor/scalable/apps/varnelt.svg]=-rw-r--r--
    [usr/share/icons/hicolor/48x48/apps/varnelt.png]=-rw-r--r--
    [usr/share/icons/hicolor/256x256/apps/varnelt.png]=-rw-r--r--
    [usr/share/man/man1/varnelt.1.gz]=-rw-r--r--
    [usr/share/man/man1/varnelt-check.1.gz]=-rw-r--r--
    [usr/share/bash-completion/completions/varnelt-check]=-rw-r--r--
)
for library in "$@"; do
    wanted[usr/lib/varnelt/$library]=-rw-r--r--
done

# The top folder itself ("./", which dpkg-deb -b lists) or a path under usr/.
under_usr() {
    [ -z "$1" ] || [ "${1#usr/}" != "$1" ]
}

declare -A listed=()
while read -r mode owner _ _ _ path link; do
    path="${path#./}"
    check "$path is no link ($link)" [ -z "$link" ]
    check "$path belongs to root/root, not $owner" [ "$owner" = root/root ]
    check "$path lies under /usr" under_usr "$path"
    if [ "${mode:0:1}" = d ]; then
        check "folder $path has mode drwxr-xr-x, not $mode" [ "$mode" = drwxr-xr-x ]
    elif [ -n "${wanted[$path]+set}" ]; then
        listed[$path]=1
        check "$path has mode ${wanted[$path]}, not $mode" [ "$mode" = "${wanted[$path]}" ]
    else
        check "$path has mode -rw-r--r-- or -rwxr-xr-x, not $mode" \
            grep -qxE -- '-rw-r--r--|-rwxr-xr-x' <<<"$mode"
    fi
done < <(dpkg-deb -c "$package")

for path in "${!wanted[@]}"; do
    check "the package holds $path" [ -n "${listed[$path]+set}" ]
done
finish
