#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: once in a normal build and once
# under AddressSanitizer + UndefinedBehaviorSanitizer.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"

"$here/scripts/install-deps.sh"

export LC_ALL=C.UTF-8
jobs="$(nproc)"

"$here/scripts/build.sh" "$here/build"
ctest --test-dir "$here/build" --output-on-failure -j "$jobs"

"$here/scripts/build.sh" "$here/build-asan" -DVARNELT_SANITIZE=ON
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir "$here/build-asan" --output-on-failure -j "$jobs"
