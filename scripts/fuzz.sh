#!/usr/bin/env bash
# Fuzzes the substitute libraries for SECONDS each (default 300), one after the other: builds
# the libFuzzer targets with clang, makes a seed corpus with the project's own archive makers,
# and runs each fuzzer on it. Findings land in fuzz-corpus/<library>/.
# Usage: scripts/fuzz.sh [SECONDS] [TARGET...]   (the libraries unlha32 unzip32 cab32 tar32
# unrar32 sevenzip32 bga32 and the decoders and parsers deflate64 inflate lzh_decoder
# bzip2_blocks bzip2_decoder sevenzip_header sevenzip_bcj2;
# all by default)
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
seconds="${1:-300}"
shift || true
if [ "$#" -gt 0 ]; then
    libraries=("$@")
else
    libraries=(unlha32 unzip32 deflate64 inflate lzh_decoder bzip2_blocks bzip2_decoder cab32 tar32
        unrar32 sevenzip32 sevenzip_header sevenzip_bcj2 bga32)
fi
jobs="$(nproc)"

# Only what the run needs: the seed maker, and one fuzzer per library asked for.
cmake -S "$here" -B "$here/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$here/build" -j "$jobs" --target make_fuzz_seeds >/dev/null
CC=clang CXX=clang++ cmake -S "$here" -B "$here/build-fuzz" -G Ninja \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVARNELT_FUZZ=ON -DVARNELT_BUILD_TESTS=OFF >/dev/null
cmake --build "$here/build-fuzz" -j "$jobs" --target "${libraries[@]/#/fuzz_}" >/dev/null

seeds="$here/fuzz-corpus/seeds"
rm -rf "$seeds"
"$here/build/bin/make_fuzz_seeds" "$seeds"
# The 7z header parser starts from whole 7z archives; a target without seeds starts empty.
ln -sfn sevenzip32 "$seeds/sevenzip_header"
for library in "${libraries[@]}"; do mkdir -p "$seeds/$library"; done

for library in "${libraries[@]}"; do
    corpus="$here/fuzz-corpus/$library"
    mkdir -p "$corpus"
    echo "== $library: ${seconds}s"
    # A finding stops that fuzzer, not the run: the next library still gets its turn.
    (cd "$corpus" && "$here/build-fuzz/bin/fuzz_$library" -max_total_time="$seconds" \
        -max_len=65536 -timeout=20 -rss_limit_mb=2048 -print_final_stats=1 \
        "$corpus" "$seeds/$library" 2>&1 | tail -n 12) ||
        echo "== $library stopped on a finding, kept in $corpus"
done
