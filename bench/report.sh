#!/usr/bin/env bash
# Runs the benchmarks and writes their figures, with the machine, the date and the commit, to
# docs/performance-results.md: the tables of docs/performance.md are made here, from a run.
#   bench/report.sh [RUNS] [MEGABYTES]     (after the wasm build, for the module, page and server)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-11}
mb=${2:-100}
out=docs/performance-results.md
native=$(bash bench/run.sh "$runs" "$mb")
wasm=$(bash bench/wasm.sh "$runs")
playground=$(node bench/playground.mjs)
lsp=$(node bench/lsp.mjs "$runs")
{
  echo "# Performance: the figures of one run"
  echo
  echo "Written by \`bash bench/report.sh $runs $mb\` on $(date -u +%Y-%m-%d), commit" \
       "$(git rev-parse --short HEAD), $(nproc) cores, $(uname -sm). See [performance.md](performance.md)" \
       "for what each column compares."
  echo
  echo "## bench/run.sh $runs $mb"
  echo
  echo '```text'
  echo "$native"
  echo '```'
  echo
  echo "## bench/wasm.sh $runs"
  echo
  echo '```text'
  echo "$wasm"
  echo '```'
  echo
  echo "## node bench/playground.mjs"
  echo
  echo '```text'
  echo "$playground"
  echo '```'
  echo
  echo "## node bench/lsp.mjs $runs"
  echo
  echo '```text'
  echo "$lsp"
  echo '```'
} >"$out"
echo "wrote $out"
