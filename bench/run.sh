#!/usr/bin/env bash
# Builds a release vorn, generates the benchmark sources and prints, per case, the median wall
# time of vorn next to two floors measured in the same run (a C++ program that does nothing,
# and `wc -l` on the same file), the ratios, and the peak resident memory of vorn. The floor is
# linked exactly like vorn; the three commands run in turn, round after round.
#   bench/run.sh [RUNS] [MEGABYTES]
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-11}
mb=${2:-100}
build=build-bench
scratch=bench/scratch

cmake --preset bench >/dev/null
cmake --build --preset bench >/dev/null
python3 bench/gen.py "$scratch" "$mb"

measure="$build/bench/vorn_measure $runs"
vorn=$(realpath "$build/vorn")
noop=$build/bench/vorn_noop

printf '%-14s %10s %10s %10s %9s %9s %10s\n' case vorn_ms floor_ms wc_ms x_floor x_wc rss_kib
for case in tiny a_capacity b_collide c_comments d_mixed e_line10 e_line20; do
  src=$scratch/$case.s
  { read -r t_vorn rss; read -r t_floor _; read -r t_wc _; } < <($measure "$vorn" "$src" -- "$noop" -- wc -l "$src")
  awk -v c="$case" -v v="$t_vorn" -v f="$t_floor" -v w="$t_wc" -v r="$rss" \
    'BEGIN {printf "%-14s %10.3f %10.3f %10.3f %9.2f %9.2f %10d\n", c, v, f, w, v / f, v / w, r}'
done
rm -f "$scratch"/*.obj
