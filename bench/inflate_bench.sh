#!/usr/bin/env bash
# Streaming inflate speeds on this machine: zlib, ISA-L and libdeflate (libisal-dev, libdeflate-dev).
# Usage: bench/inflate_bench.sh [megabytes of each kind, default 128]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
binary="$(mktemp -d)/inflate_bench"
trap 'rm -rf "$(dirname "$binary")"' EXIT
g++ -std=c++20 -O2 -o "$binary" "$here/inflate_bench.cpp" -lisal -ldeflate -lz
"$binary" "${1:-128}"
