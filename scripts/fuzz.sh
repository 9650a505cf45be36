#!/usr/bin/env bash
# Fuzzes every substitute library for SECONDS each (default 300): builds the libFuzzer
# targets with clang, makes a seed corpus with the project's own archive makers, and runs
# each fuzzer on it. Findings land in fuzz-corpus/<library>/.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
seconds="${1:-300}"
shift || true
libraries=("${@:-unlha32 unzip32 deflate64 cab32 tar32 unrar32 sevenzip32 bga32}")

"$here/scripts/build.sh" "$here/build" >/dev/null
CC=clang CXX=clang++ "$here/scripts/build.sh" "$here/build-fuzz" -DVARNELT_FUZZ=ON \
    -DVARNELT_BUILD_TESTS=OFF >/dev/null

seeds="$here/fuzz-corpus/seeds"
rm -rf "$seeds"
"$here/build/bin/make_fuzz_seeds" "$seeds"

for library in ${libraries[*]}; do
    corpus="$here/fuzz-corpus/$library"
    mkdir -p "$corpus"
    echo "== $library: ${seconds}s"
    (cd "$corpus" && "$here/build-fuzz/bin/fuzz_$library" -max_total_time="$seconds" \
        -max_len=65536 -timeout=20 -rss_limit_mb=2048 -print_final_stats=1 \
        "$corpus" "$seeds/$library" 2>&1 | tail -n 12)
done
