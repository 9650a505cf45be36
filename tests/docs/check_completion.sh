#!/usr/bin/env bash
# Loads varnelt-check's bash completion into a plain bash, without the bash-completion
# package, and drives the function it registers as the shell would.
# Usage: check_completion.sh <completion script>
set -euo pipefail
script="$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
# Names to complete: a file that looks like an option, a plain file and a folder.
mkdir "$scratch/sub"
touch "$scratch/-x.zip" "$scratch/a.lzh"
cd "$scratch"

env -u BASH_ENV bash --norc -s "$script" <<'EOF'
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

# expect "<expected words>" <word>...: completes the last word of the command line.
expect() {
    local want="$1" got
    shift
    COMP_WORDS=(varnelt-check "$@")
    COMP_CWORD=$#
    COMP_LINE="varnelt-check $*"
    COMP_POINT=${#COMP_LINE}
    COMPREPLY=()
    "$function" varnelt-check "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
    got="$(printf '%s\n' "${COMPREPLY[@]}" | sort | xargs)"
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

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
EOF
