// The block scanner built for AVX2: 32 bytes a compare. Only the reader calls it, and only on a
// processor that has AVX2. This file includes nothing with code of external linkage, so no
// function built here for AVX2 is shared with the rest of the program.
#include <immintrin.h>

#include "source_reader/block_scan.h"

namespace vorn::scan {

namespace {

Masks classify64_avx2(const char* p) {
  const __m256i v0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
  const __m256i v1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32));
  auto eq = [](__m256i v, char c) { return _mm256_cmpeq_epi8(v, _mm256_set1_epi8(c)); };
  auto bits = [](__m256i a, __m256i b) {
    return static_cast<std::uint64_t>(static_cast<std::uint32_t>(_mm256_movemask_epi8(a))) |
           (static_cast<std::uint64_t>(static_cast<std::uint32_t>(_mm256_movemask_epi8(b))) << 32);
  };
  // Two bits a byte carry the three classes: x marks newlines and ";", y blanks and ";".
  auto x = [&](__m256i v) { return _mm256_or_si256(eq(v, '\n'), eq(v, ';')); };
  auto y = [&](__m256i v) {
    return _mm256_or_si256(_mm256_or_si256(eq(v, ' '), eq(v, '\t')), eq(v, ';'));
  };
  const std::uint64_t xs = bits(x(v0), x(v1));
  const std::uint64_t ys = bits(y(v0), y(v1));
  Masks m{xs & ~ys, ys & ~xs, xs & ys, 0};
  const __m256i c0 = eq(v0, '\r');
  const __m256i c1 = eq(v1, '\r');
  if (_mm256_movemask_epi8(_mm256_or_si256(c0, c1)) != 0) m.cr = bits(c0, c1);
  return m;
}

}  // namespace

bool skip_blocks_avx2(BlockSkip& s, const char* end) {
  return skip_blocks_with(s, end, classify64_avx2);
}

}  // namespace vorn::scan
