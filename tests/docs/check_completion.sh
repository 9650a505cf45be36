#!/usr/bin/env bash
# Loads varnelt-check's bash completion into a plain bash, without the bash-completion
# package, and drives the function it registers as the shell would; every option that
# `varnelt-check --help` lists must be offered.
# Usage: check_completion.sh <completion script> <varnelt-check program>
set -euo pipefail
script="$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
source "$(dirname "$0")/help_options.sh"
help_options "$2" >"$scratch/help"
# Names to complete: a file that looks like an option, a plain file and a folder.
mkdir -p "$scratch/names/sub"
touch "$scratch/names/-x.zip" "$scratch/names/a.lzh"
cd "$scratch/names"

env -u BASH_ENV bash --norc -s "$script" "$scratch/help" <<'EOF'
set -u
source "$1"
passed=0
failed=0
registered="$(complete -p varnelt-check)"
function="$(sed -n 's/^complete .*-F \([^ ]*\) .*varnelt-check$/\1/p' <<<"$registered")"
if [ -n "$function" ] && declare -F "$function" >/dev/null; then
    passed=$((passed + 1))
else
    echo "FAIL: complete -p varnelt-check names no function: $registered" >&2
    echo "0 passed, 1 failed"
    exit 1
fi

# complete <word>...: COMPREPLY for the last word of the command line, one a line, sorted.
complete_words() {
    COMP_WORDS=(varnelt-check "$@")
    COMP_CWORD=$#
    COMP_LINE="varnelt-check $*"
    COMP_POINT=${#COMP_LINE}
    COMPREPLY=()
    "$function" varnelt-check "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
    printf '%s\n' "${COMPREPLY[@]}" | sort
}

# expect "<expected words>" <word>...
expect() {
    local want="$1" got
    shift
    got="$(complete_words "$@" | xargs)"
    if [ "$got" = "$want" ]; then
        passed=$((passed + 1))
    else
        echo "FAIL: varnelt-check $*<TAB>: '$got', not '$want'" >&2
        failed=$((failed + 1))
    fi
}

expect "--format --formats" --for
expect "zip,lzh" --formats zip,l
expect "broken,count broken,extension broken,name broken,password" --rules broken,
expect "delete leave move trash" --action ""
expect "sub" --move-to ""
# After "--" a word starting with "-" is a path, not an option.
expect "-x.zip" -r -- -
expect "-x.zip a.lzh sub" -- ""

# Every option of the help text, offered for a word "-".
offered="$(complete_words -)"
if [ "$(wc -l <"$2")" -lt 11 ]; then
    echo "FAIL: read only $(wc -l <"$2") options from --help" >&2
    failed=$((failed + 1))
fi
while read -r option; do
    if grep -qxF -- "$option" <<<"$offered"; then
        passed=$((passed + 1))
    else
        echo "FAIL: varnelt-check -<TAB> does not offer $option" >&2
        failed=$((failed + 1))
    fi
done <"$2"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
EOF
