#!/usr/bin/env bash
# Packs the build folder with cpack, as scripts/package.sh does, into a folder of its own:
# cpack only installs what was built, into its own staging root, and names the package.
# Usage: build_package.sh <build folder> <package to expect>
set -euo pipefail
build="$1"
package="$2"
out="$(dirname "$package")"
rm -rf "$out"
cpack --config "$build/CPackConfig.cmake" -B "$out"
if [ ! -f "$package" ]; then
    echo "FAIL: cpack made no $(basename "$package"), only:" >&2
    ls "$out" >&2
    exit 1
fi
echo "1 passed, 0 failed"
