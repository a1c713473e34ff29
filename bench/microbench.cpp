// Micro-benchmarks: the tokenizer's throughput and the symbol table's probing.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>
#include <string>

#include "source_reader/source_reader.h"
#include "symtab/symtab.h"

namespace {

void BM_Tokenizer(benchmark::State& state) {
  std::string text;
  while (text.size() < (4u << 20)) text += "    ; ADD R1 R2 #3\n\n:LOOP ld r1 @table r2 ; load\n";
  for (auto _ : state) {
    vorn::SourceReader r;
    vorn::reader_from_text(r, text);
    std::size_t n = 0;
    while (vorn::scan_token(r)) ++n;
    benchmark::DoNotOptimize(n);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_Tokenizer);

// Interns `count` similar names (permutations of one string), then looks each up again.
void BM_SymtabColliding(benchmark::State& state) {
  std::vector<std::string> names;
  std::string p = "ABCDEFGH";
  for (int k = 0; k < state.range(0); ++k, std::next_permutation(p.begin(), p.end())) {
    names.push_back(p);
  }
  for (auto _ : state) {
    auto t = std::make_unique<vorn::SymbolTable>();
    for (const std::string& n : names) vorn::sym_intern(*t, n, vorn::name_hash(n));
    for (const std::string& n : names) benchmark::DoNotOptimize(vorn::sym_find(*t, n, vorn::name_hash(n)));
  }
}
BENCHMARK(BM_SymtabColliding)->Arg(500)->Arg(3899);

}  // namespace

BENCHMARK_MAIN();
