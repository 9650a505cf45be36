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
# GCC 12's leak checker sizes each dynamic thread-local block by a header it assumes glibc put
# before it. For a block glibc took from malloc those bytes are anything, and the checker's
# tracer faults on the range they give, at the exit of any program holding such a block (which
# program depends on the addresses, so on the paths and the environment). Without the guess the
# blocks are scanned as the heap chunks they are.
export ASAN_OPTIONS=detect_leaks=1:intercept_tls_get_addr=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir "$here/build-asan" --output-on-failure -j "$jobs"
