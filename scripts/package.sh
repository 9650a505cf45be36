#!/usr/bin/env bash
# Builds the Debian package varnelt_<version>_<architecture>.deb into the build folder
# (build/ unless given): installs what is missing, brings the build up to date, and has cpack
# pack what `cmake --install` would put under /usr. Only a plain build is packaged.
# Usage: scripts/package.sh [build folder]
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$here/build}"
"$here/scripts/install-deps.sh"
"$here/scripts/build.sh" "$build"
build="$(cd "$build" && pwd)"
if [ ! -f "$build/CPackConfig.cmake" ]; then
    echo "$build is a sanitizer or fuzzer build: a package is made from a plain build" >&2
    exit 2
fi
cpack --config "$build/CPackConfig.cmake" -B "$build"
