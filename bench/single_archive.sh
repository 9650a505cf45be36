#!/usr/bin/env bash
# Times varnelt-check (default jobs) on one large archive per format against every reference
# tester that reads that format, all in one hyperfine run per format, and prints our time over
# the fastest tester's. The archives hold about 150 MB: many text-like files and some random
# bytes, so that ZIP has many entries and bzip2 and xz have many blocks.
# Usage: bench/single_archive.sh [corpus folder] [runs] [formats...]
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
corpus="${1:-$here/build/bench-single}"
runs="${2:-3}"
shift $(($# > 2 ? 2 : $#))
formats=("$@")
((${#formats[@]})) || formats=(zip tgz tbz txz 7z lzh cab)
check="$here/build/bin/varnelt-check"

command -v hyperfine >/dev/null || { apt-get install -y -qq hyperfine >/dev/null; }
[ -x "$check" ] || "$here/scripts/build.sh" "$here/build" >/dev/null

# Text that compresses as prose does (about 3:1), made fast and the same on every machine.
make_text() {  # bytes, seed
    awk -v bytes="$1" -v seed="$2" 'BEGIN {
        srand(seed); n = split("the of and to in is that archive file data check for with as " \
            "on by this be are from at or an it not which was have has but all were can more " \
            "when one there their will each about out so up into them only other new some " \
            "could time these two may then do first any my now such like our over", w, " ")
        line = ""; total = 0
        while (total < bytes) {
            word = w[int(rand() * n) + 1]
            if (rand() < 0.05) word = word int(rand() * 100000)
            line = line word " "
            if (length(line) > 72) { print line; total += length(line) + 1; line = "" }
        }
    }'
}

make_corpus() {
    local src="$corpus/src"
    rm -f "$corpus"/big.*  # tools add to an archive that is there
    mkdir -p "$src/docs"
    for i in $(seq 1 24); do make_text 5000000 "$i" > "$src/docs/part$i.txt"; done
    head -c 30000000 /dev/urandom > "$src/random.bin"
    cd "$src"
    zip -q -r "$corpus/big.zip" .
    tar -cf - . | gzip -6 > "$corpus/big.tgz"
    tar -cf - . | bzip2 -9 > "$corpus/big.tbz"
    tar -cf - . | xz -6 -T2 > "$corpus/big.txz"      # several independent blocks
    7zz a -bd -mmt2 -m0=lzma2 "$corpus/big.7z" . >/dev/null
    jlha a "$corpus/big.lzh" docs random.bin >/dev/null
    gcab -c -z "$corpus/big.cab" docs/* random.bin
    cd "$corpus"
    rm -rf "$src"
}
[ -f "$corpus/big.cab" ] || make_corpus

declare -A checker=([zip]=zip [tgz]=tar [tbz]=tar [txz]=tar [7z]=7z [lzh]=lzh [cab]=cab)
declare -A own_testers=(
    [zip]="unzip -tqq %s"
    [tgz]="gzip -t %s"
    [tbz]="bzip2 -t %s"
    [txz]="xz -t -T0 %s"
    [7z]=""
    [lzh]="lhasa t %s"
    [cab]="cabextract -q -t %s"
)

for format in "${formats[@]}"; do
    archive="$corpus/big.$format"
    testers=("7zz t -bd $archive" "7zz t -bd -mmt1 $archive"
             "bash -c 'bsdtar -xOf $archive > /dev/null'")
    if [ -n "${own_testers[$format]}" ]; then
        # shellcheck disable=SC2059
        testers+=("$(printf "${own_testers[$format]}" "$archive")")
    fi
    args=()
    for tester in "${testers[@]}"; do args+=(--command-name "$tester" "$tester"); done
    json="$(mktemp)"
    hyperfine -N -i --warmup 1 --runs "$runs" --export-json "$json" \
        --command-name varnelt "$check --formats ${checker[$format]} $archive" "${args[@]}" \
        >/dev/null 2>&1
    python3 - "$json" "$format" "$(du -h "$archive" | cut -f1)" <<'PY'
import json, sys
results = json.load(open(sys.argv[1]))["results"]
ours = next(r for r in results if r["command"] == "varnelt")
others = sorted((r for r in results if r["command"] != "varnelt" and
                 all(code == 0 for code in r.get("exit_codes", [0]))), key=lambda r: r["mean"])
best = others[0]
print(f'{sys.argv[2]:<4} {sys.argv[3]:>5}  varnelt-check {ours["mean"]:7.3f} s  fastest '
      f'{best["mean"]:7.3f} s ({best["command"].split(" /")[0]})  ratio {ours["mean"] / best["mean"]:5.2f}')
for r in others[1:]:
    print(f'{"":12}{r["command"].split(" /")[0]:<22} {r["mean"]:7.3f} s')
PY
    rm -f "$json"
done
