#!/usr/bin/env bash
# Times varnelt-check against the best reference tester of each format on a corpus made on
# this machine (about 300 MB), and --jobs 2 against --jobs 1. Prints the ratios.
# Usage: bench/check_speed.sh [corpus folder] [runs]
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
corpus="${1:-$here/build/bench-corpus}"
runs="${2:-3}"
check="$here/build/bin/varnelt-check"

command -v hyperfine >/dev/null || { apt-get install -y -qq hyperfine >/dev/null; }
[ -x "$check" ] || "$here/scripts/build.sh" "$here/build" >/dev/null

make_corpus() {
    mkdir -p "$corpus/src" "$corpus/tiny"
    cd "$corpus/src"
    # Half text-like, half incompressible: what real archives hold.
    for i in 1 2 3 4; do
        base64 -w 100 < <(head -c 6000000 /dev/urandom) > "text$i.txt"
        head -c 4000000 /dev/urandom > "blob$i.bin"
    done
    zip -q -r "$corpus/large.zip" .
    7zz a -bd -m0=lzma2 "$corpus/large.7z" . >/dev/null
    tar czf "$corpus/large.tgz" .
    tar cjf "$corpus/large.tbz" .
    jlha a "$corpus/large.lzh" text1.txt blob1.bin text2.txt >/dev/null
    gcab -c -z "$corpus/large.cab" ./* 
    cd "$corpus/tiny"
    echo "tiny archive content" > content.txt
    zip -q seed.zip content.txt && rm content.txt
    for i in $(seq 1 5000); do cp seed.zip "t$i.zip"; done
    rm seed.zip
    rm -rf "$corpus/src"
}
[ -f "$corpus/large.cab" ] || make_corpus
du -sh "$corpus"

ratio() {  # name, reference command, our command
    local json; json="$(mktemp)"
    hyperfine -N --warmup 1 --runs "$runs" --export-json "$json" --command-name ref "$2" \
        --command-name varnelt "$3" >/dev/null 2>&1
    python3 - "$json" "$1" <<'PY'
import json, sys
results = {r["command"]: r["mean"] for r in json.load(open(sys.argv[1]))["results"]}
print(f'{sys.argv[2]:<28} reference {results["ref"]:8.3f} s   varnelt-check {results["varnelt"]:8.3f} s   ratio {results["varnelt"] / results["ref"]:5.2f}')
PY
    rm -f "$json"
}

ratio "zip (unzip -tqq)" "unzip -tqq $corpus/large.zip" "$check --jobs 1 --formats zip $corpus/large.zip"
ratio "7z (7zz t)" "7zz t -bd $corpus/large.7z" "$check --jobs 1 --formats 7z $corpus/large.7z"
ratio "tgz (bsdtar)" "bash -c 'bsdtar -xOf $corpus/large.tgz > /dev/null'" "$check --jobs 1 --formats tar $corpus/large.tgz"
ratio "tbz (bsdtar)" "bash -c 'bsdtar -xOf $corpus/large.tbz > /dev/null'" "$check --jobs 1 --formats tar $corpus/large.tbz"
ratio "lzh (lhasa t)" "lhasa t $corpus/large.lzh" "$check --jobs 1 --formats lzh $corpus/large.lzh"
ratio "cab (cabextract -t)" "cabextract -q -t $corpus/large.cab" "$check --jobs 1 --formats cab $corpus/large.cab"
ratio "5000 tiny zip (7zz t)" "7zz t -bd $corpus/tiny/*.zip" "$check --jobs 1 --formats zip $corpus/tiny"
ratio "jobs 2 vs jobs 1 (all)" "$check --jobs 1 $corpus" "$check --jobs 2 $corpus"
