#!/usr/bin/env bash
# Builds the fuzz target with clang and libFuzzer, replays the kept corpus as a regression
# set, then fuzzes for SECONDS seconds (default 60).
#   fuzz/run.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
build=build-fuzz

CXX=${CXX:-clang++} cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVORN_FUZZ=ON -DVORN_TESTS=OFF >/dev/null
cmake --build "$build" --target fuzz_assembler -j2 >/dev/null
fuzzer=$build/fuzz/fuzz_assembler

# Seeds: the kept corpus (regression cases included), the test cases and the examples.
seeds=(fuzz/corpus examples)
mkdir -p fuzz/corpus-work
for f in tests/cases/*.s; do cp -n "$f" fuzz/corpus-work/ 2>/dev/null || true; done

echo "== replaying the corpus"
"$fuzzer" -runs=0 -rss_limit_mb=2048 fuzz/corpus-work "${seeds[@]}" 2>&1 | tail -n 2

echo "== fuzzing for $seconds s"
"$fuzzer" -dict=fuzz/vorn.dict -max_total_time="$seconds" -max_len=65536 -rss_limit_mb=2048 \
  -print_final_stats=1 -artifact_prefix=fuzz/corpus-work/crash- \
  fuzz/corpus-work "${seeds[@]}" 2>&1 | grep -E '^(#[0-9]+[[:space:]]+(DONE|pulse)|stat::|Done|INFO: seed)|ERROR|SUMMARY|oracle' || true
if ls fuzz/corpus-work/crash-* >/dev/null 2>&1; then
  echo "fuzzing found failures: fuzz/corpus-work/crash-*" >&2
  exit 1
fi
echo "fuzzing found nothing"
