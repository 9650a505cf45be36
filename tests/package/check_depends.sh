#!/usr/bin/env bash
# The package's Depends (dpkg-deb -f) against what its files need on this machine: every
# shared library a packaged program or archiver library links comes from a package named
# there, and so do the pieces Qt loads only at run time (Japanese dialog texts, the xcb
# platform plugin).
# Usage: check_depends.sh <package>
set -euo pipefail
# shellcheck source-path=SCRIPTDIR
source "$(dirname "$0")/common.sh"
package="$1"
unpack "$package"
depends="$(dpkg-deb -f "$package" Depends)"
# The package names of Depends, alternatives included, without their versions.
names="$(tr ',|' '\n' <<<"$depends" | sed 's/(.*)//; s/[[:space:]]//g; /^$/d' | sort -u)"

depends_on_one_of() {
    local name
    for name in "$@"; do
        if grep -qxF -- "$name" <<<"$names"; then return 0; fi
    done
    return 1
}

# The installed packages holding each file name asked for in this architecture's library
# folders, as "<name> <package>" lines: one dpkg -S for all, as each reads the whole database.
multiarch="$(dpkg-architecture -qDEB_HOST_MULTIARCH)"
owners_of() {
    local patterns=("${@/#/*/$multiarch/}")
    dpkg -S "${patterns[@]}" 2>/dev/null |
        awk -F': ' '{ n = split($1, packages, ", "); sub(/.*\//, "", $2)
                      for (i = 1; i <= n; i++) { sub(/:.*/, "", packages[i]); print $2, packages[i] } }' |
        sort -u
}
# owners <file name>: the packages holding it, one a line, from $owner_lines.
owners() {
    awk -v name="$1" '$1 == name { print $2 }' <<<"$owner_lines"
}

for name in qt6-translations-l10n libqt6widgets6 libarchive13; do
    check "Depends names $name: $depends" depends_on_one_of "$name"
done

# Every ELF file of the package with the libraries it links, as "<file> <soname>" lines.
needed=""
elf_files=0
while IFS= read -r -d '' file; do
    readelf -h "$file" >/dev/null 2>&1 || continue
    elf_files=$((elf_files + 1))
    needed+="$(readelf -d "$file" | sed -n "s|.*(NEEDED).*\[\(.*\)\]\$|${file#"$root"/} \1|p")"$'\n'
done < <(find "$root" -type f -print0)
check "the package holds programs and libraries ($elf_files ELF files)" [ "$elf_files" -ge 4 ]
mapfile -t sonames < <(awk 'NF { print $2 }' <<<"$needed" | sort -u)
owner_lines="$(owners_of qt6/plugins/platforms/libqxcb.so "${sonames[@]}")"

mapfile -t xcb < <(owners libqxcb.so)
check "a package on this machine holds Qt's xcb platform plugin" [ "${#xcb[@]}" -gt 0 ]
check "Depends names the xcb plugin's package (${xcb[*]}): $depends" depends_on_one_of "${xcb[@]}"

while read -r file soname; do
    mapfile -t from < <(owners "$soname")
    check "$file needs $soname from ${from[*]:-no installed package}, not in Depends" \
        depends_on_one_of "${from[@]}"
done < <(awk NF <<<"$needed")
finish
