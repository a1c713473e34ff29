#!/usr/bin/env bash
# Measures line coverage of the core library by the whole test suite with gcov: its source
# files, and its headers (a header's lines run in every unit that includes it; the unit that
# runs most of them counts).
#   tests/coverage.sh        prints each source file's coverage and the total
set -euo pipefail
cd "$(dirname "$0")/.."
find build-coverage -name '*.gcda' -delete 2>/dev/null || true
cmake --workflow --preset coverage >/dev/null
objdir=build-coverage/CMakeFiles/vorn_core.dir
root=$(pwd)
# gcov prints, for every file a unit touches, its name and the share of its lines executed;
# only the core's own files count.
for gcda in $(find "$objdir" -name '*.gcda' | sort); do
  gcov -n "$gcda" 2>/dev/null
done | awk -v root="$root/" '
  /^File / { file = $2; gsub("\047", "", file); sub(root, "", file); next }
  /^Lines executed/ && file ~ /^src\/.*\.(cpp|h)$/ {
    split($2, a, "%"); sub("executed:", "", a[1]); n = $4
    if (!(file in lines) || a[1] > pct[file]) { pct[file] = a[1]; lines[file] = n }
    file = ""
  }
  END {
    for (f in lines) {
      printf "%-36s %7.2f%% of %4d lines\n", f, pct[f], lines[f]
      total += lines[f]; covered += int(pct[f] * lines[f] / 100 + 0.5)
    }
    printf "%-36s %7.2f%% of %4d lines\n", "total", 100 * covered / total, total
  }' | sort
