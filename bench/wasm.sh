#!/usr/bin/env bash
# The WebAssembly module against the native core on the capacity program (a_capacity), both
# in-process: median milliseconds of one assembly and their ratio, and the module's size.
#   bench/wasm.sh [RUNS]
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-51}
export NODE_PATH=${NODE_PATH:-/usr/share/nodejs}
cmake --preset bench >/dev/null && cmake --build --preset bench >/dev/null
cmake --preset wasm >/dev/null && cmake --build --preset wasm >/dev/null
python3 bench/gen.py bench/scratch/wasm 1 >/dev/null
native=$(build-bench/bench/vorn_inprocess "$runs" bench/scratch/wasm/a_capacity.s)
wasm=$(node bench/wasm.mjs build-wasm/web/vorn.js "$runs" bench/scratch/wasm/a_capacity.s)
size=$(stat -c %s build-wasm/web/vorn.js)
gzipped=$(gzip -9c build-wasm/web/vorn.js | wc -c)
binary=$(grep -o 'base64,[A-Za-z0-9+/=]*' build-wasm/web/vorn.js | cut -d, -f2 | base64 -d | wc -c)
awk -v n="$native" -v w="$wasm" -v s="$size" -v g="$gzipped" -v b="$binary" 'BEGIN {
  printf "a_capacity in-process: native %.3f ms, wasm in Node.js %.3f ms, %.2fx\n", n, w, w / n
  printf "module: build-wasm/web/vorn.js %d bytes (%d gzipped), holding a %d-byte wasm binary\n", s, g, b }'
