# shellcheck shell=bash
# Checks counted by a test script: check <what should hold> <command>... counts the command's
# success or reports what failed; finish prints the counts and fails when one check did.
passed=0
failed=0

check() {
    local what="$1"
    shift
    if "$@"; then
        passed=$((passed + 1))
    else
        echo "FAIL: $what" >&2
        failed=$((failed + 1))
    fi
}

finish() {
    echo "$passed passed, $failed failed"
    [ "$failed" -eq 0 ]
}
