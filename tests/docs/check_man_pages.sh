#!/usr/bin/env bash
# Renders each manual page as man shows it and checks it: no warning from groff or man, every
# line within the width, the sections a reader looks for, and an entry in varnelt-check's
# OPTIONS for every option that `varnelt-check --help` lists (and for no option it lacks).
# Usage: check_man_pages.sh <varnelt-check program> <folder of the pages>
set -euo pipefail
checker="$1"
pages="$2"
export LC_ALL=C.UTF-8 MANWIDTH=80
unset MANPAGER PAGER MAN_KEEP_FORMATTING
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
source "$(dirname "$0")/help_options.sh"

# shellcheck source-path=SCRIPTDIR source=../support/checks.sh
source "$(dirname "$0")/../support/checks.sh"

# The options the checker takes, listed here until its help text lists the newest of them.
known_options() {
    printf '%s\n' --formats --rules --count --filter -r --jobs --time-limit --memory-limit \
        --log --format --action --move-to --create-dir -q --quiet --summary -h --help --version |
        sort -u
}

# The options a rendered page gives entries to: the tags of its OPTIONS section, at the
# section's first indent ("       -q, --quiet").
documented_options() {
    awk '
        /^[A-Z]/ { inside = ($0 == "OPTIONS"); next }
        inside && /^       -/ {
            tag = substr($0, 8)
            n = split(tag, names, ", ")
            for (i = 1; i <= n; i++) {
                name = names[i]
                sub(/ .*/, "", name)
                if (name ~ /^--?[A-Za-z0-9][A-Za-z0-9-]*$/) print name
            }
        }' "$1" | sort -u
}

render() {  # render <page> <text out>: man's text with plain hyphens and no overstrikes
    man -l "$1" 2>"$scratch/man.err" | sed 's/.\x08//g; s/\xe2\x80\x90/-/g; s/\xe2\x88\x92/-/g' >"$2"
}

for page in varnelt.1 varnelt-check.1; do
    source="$pages/$page"
    text="$scratch/$page.txt"
    warnings="$(groff -man -Tutf8 -ww -z "$source" 2>&1)"
    check "$page: groff warns: ${warnings:0:300}" test -z "$warnings"
    render "$source" "$text"
    check "$page: man -l warns: $(head -3 "$scratch/man.err")" test ! -s "$scratch/man.err"
    check "$page: lines wider than $MANWIDTH columns" test "$(wc -L <"$text")" -le "$MANWIDTH"
    sections=(NAME SYNOPSIS DESCRIPTION OPTIONS FILES ENVIRONMENT "SEE ALSO")
    if [ "$page" = varnelt-check.1 ]; then
        sections+=(OUTPUT "EXIT STATUS" EXAMPLES)
    fi
    for section in "${sections[@]}"; do
        check "$page: no section $section" grep -qx "$section" "$text"
    done
done

help_options "$checker" >"$scratch/help"
known_options >"$scratch/known"
documented_options "$scratch/varnelt-check.1.txt" >"$scratch/documented"
# A help text that yields fewer names than it has held all along means the parse broke.
check "read only $(wc -l <"$scratch/help") options from --help" \
    test "$(wc -l <"$scratch/help")" -ge 11
while read -r option; do
    check "varnelt-check.1 has no entry for $option" grep -qxF -- "$option" "$scratch/documented"
done < <(sort -u "$scratch/help" "$scratch/known")
while read -r option; do
    check "varnelt-check.1 documents $option, which varnelt-check does not take" \
        grep -qxF -- "$option" <(sort -u "$scratch/help" "$scratch/known")
done <"$scratch/documented"

finish
