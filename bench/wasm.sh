#!/usr/bin/env bash
# The WebAssembly module against the native core on the capacity program (a_capacity): both
# in-process (median milliseconds of one assembly, the module through the npm package's load()),
# and as commands, process start included (the native vorn, the package's vorn command run by
# node as npx runs it, `npx vorn` itself from a folder the package is installed in, and
# `node -e 0`, the floor that Node.js's own start-up sets; the command on the README example
# too); then
# the sizes of the module and of the package.
#   bench/wasm.sh [RUNS]
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-51}
cmake --preset bench >/dev/null && cmake --build --preset bench >/dev/null
cmake --preset wasm >/dev/null && cmake --build --preset wasm >/dev/null
scratch=bench/scratch/wasm
python3 bench/gen.py "$scratch" 1 >/dev/null
src=$scratch/a_capacity.s
tarball=$(ls build-wasm/vorn-*.tgz)
installed=$scratch/installed
rm -rf "$installed" && mkdir -p "$installed"
echo '{"name": "bench", "version": "1.0.0", "private": true}' >"$installed/package.json"
(cd "$installed" && npm install --offline --no-audit --no-fund --silent "$(realpath "../../../../$tarball")")

native=$(build-bench/bench/vorn_inprocess "$runs" "$src")
wasm=$(node bench/wasm.mjs build-wasm/npm/index.mjs "$runs" "$src")
cp examples/sum.s "$scratch/sum.s"
{ read -r t_native _; read -r t_node _; read -r t_npx _; read -r t_floor _; read -r t_small _; } < <(
  build-bench/bench/vorn_measure "$((runs / 5 + 1))" build-bench/vorn "$src" \
    -- node build-wasm/npm/bin/vorn.cjs "$src" \
    -- sh -c "cd $installed && npx --offline --no-install vorn ../a_capacity.s" \
    -- node -e 0 \
    -- node build-wasm/npm/bin/vorn.cjs "$scratch/sum.s")
awk -v n="$native" -v w="$wasm" -v tn="$t_native" -v tj="$t_node" -v tx="$t_npx" \
    -v tf="$t_floor" -v ts="$t_small" 'BEGIN {
  printf "a_capacity in-process: native %.3f ms, package (wasm in Node.js) %.3f ms, %.2fx\n", n, w, w / n
  printf "a_capacity as a command: native %.1f ms, node vorn.cjs %.1f ms (%.1fx), npx vorn %.1f ms (%.1fx)\n",
    tn, tj, tj / tn, tx, tx / tn
  printf "start-up: node -e 0 %.1f ms; node vorn.cjs on sum.s %.1f ms (%.2fx), on a_capacity %.2fx\n",
    tf, ts, ts / tf, tj / tf }'
size=$(stat -c %s build-wasm/web/vorn.js)
gzipped=$(gzip -9c build-wasm/web/vorn.js | wc -c)
binary=$(grep -o 'base64,[A-Za-z0-9+/=]*' build-wasm/web/vorn.js | cut -d, -f2 | base64 -d | wc -c)
echo "module: build-wasm/web/vorn.js $size bytes ($gzipped gzipped), holding a $binary-byte wasm binary"
echo "package: $tarball $(stat -c %s "$tarball") bytes"
rm -f "$scratch"/*.obj
