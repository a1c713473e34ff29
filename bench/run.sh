#!/usr/bin/env bash
# Builds a release vorn, generates the benchmark sources and prints, per case, the median wall
# time of vorn next to its floor measured in the same run: a C++ program that does nothing,
# linked exactly like vorn (for the small cases), or `wc -l` on the same file (for the large
# ones), and for the small cases a second floor, a program that only reads the source and
# writes a file beside it through a temporary name and a rename. The commands run in turn,
# round after round. Each row gives the ratio with its goal, the page faults of vorn and of the floor, vorn's peak memory and, where valgrind
# exists, vorn's instructions per byte of source (callgrind; the 100 MB cases are counted on an
# 8 MB file of the same lines).
#   bench/run.sh [RUNS] [MEGABYTES] [--big]     (--big adds a single line of 1 GiB)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-11}
mb=${2:-100}
big=${3:-}
build=build-bench
scratch=bench/scratch

cmake --preset bench >/dev/null
cmake --build --preset bench >/dev/null
python3 bench/gen.py "$scratch" "$mb" $big
python3 bench/gen.py "$scratch/small" 8 >/dev/null

measure="$build/bench/vorn_measure $runs"
vorn=$(realpath "$build/vorn")
noop=$build/bench/vorn_noop
io_floor=$build/bench/vorn_floor

# Instructions per byte of `file`, from callgrind.
instr_per_byte() {
  local file=$1
  if ! command -v valgrind >/dev/null 2>&1; then echo "-"; return; fi
  local out
  out=$(valgrind --tool=callgrind --callgrind-out-file=/dev/null "$vorn" "$file" 2>&1 >/dev/null |
        sed -n 's/.*Collected : \([0-9]*\).*/\1/p')
  awk -v i="$out" -v b="$(stat -c %s "$file")" 'BEGIN {printf "%.2f", i / b}'
}

# io_ms is the second floor of the small cases: reading the source and writing a file beside
# it through a temporary name and a rename; io_ratio is vorn against it.
printf '%-12s %9s %9s %9s %9s %7s %6s %8s %7s %7s %9s %8s\n' \
  case vorn_ms floor_ms io_ms wc_ms ratio goal io_ratio faults f_flt rss_kib instr/B
row() {
  local case=$1 against=$2 goal=$3
  local src=$scratch/$case.s
  local t_vorn rss flt t_floor flt_floor t_io t_wc flt_wc
  { read -r t_vorn rss flt; read -r t_floor _ flt_floor; read -r t_io _; read -r t_wc _ flt_wc; } \
    < <($measure "$vorn" "$src" -- "$noop" -- "$io_floor" "$src" -- wc -l "$src")
  local cg=$src
  [ -f "$scratch/small/$case.s" ] && [ "$(stat -c %s "$src")" -gt $((16 << 20)) ] &&
    cg=$scratch/small/$case.s
  local ipb
  ipb=$(instr_per_byte "$cg")
  awk -v c="$case" -v v="$t_vorn" -v f="$t_floor" -v o="$t_io" -v w="$t_wc" -v a="$against" -v g="$goal" \
      -v fl="$flt" -v ff="$([ "$against" = floor ] && echo "$flt_floor" || echo "$flt_wc")" \
      -v r="$rss" -v i="$ipb" 'BEGIN {
    ratio = (a == "floor") ? v / f : v / w
    io = (a == "floor") ? sprintf("%7.2fx", v / o) : "       -"
    printf "%-12s %9.3f %9.3f %9.3f %9.3f %6.2fx %5.1fx %s %7d %7d %9d %8s\n", c, v, f, o, w, ratio, g, io, fl, ff, r, i }'
}
row tiny floor 1.1
row a_capacity floor 2
row b_collide floor 2
row c_comments wc 3
row d_mixed wc 3
row d_irregular wc 3
row e_line10 wc 20
row e_line20 wc 20
if [ -f "$scratch/line1g.s" ] && [ -n "$big" ]; then
  { read -r t_vorn rss flt; } < <($build/bench/vorn_measure 3 "$vorn" "$scratch/line1g.s")
  awk -v v="$t_vorn" -v r="$rss" -v fl="$flt" 'BEGIN {
    printf "%-12s %9.3f   (goal: at most 500 ms, peak at most the line + 4 MiB: %d KiB)  faults %d  rss_kib %d\n",
      "line1g", v, 1048576 + 4096, fl, r }'
fi
rm -f "$scratch"/*.obj "$scratch"/small/*.obj
