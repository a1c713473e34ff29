// Byte scanning for the reader, a block at a time: SSE2 on x86-64 (always there), and plain
// loops elsewhere, chosen when the code is built. Both give the same answers.
#pragma once

#include <cstdint>

#include "source_reader/block_scan.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vorn::scan {

inline bool is_blank(char c) {
  return c == ' ' || c == '\t';
}

#if defined(__SSE2__)

inline std::uint64_t bits(__m128i a, __m128i b, __m128i c, __m128i d) {
  auto m = [](__m128i v) {
    return static_cast<std::uint64_t>(static_cast<std::uint16_t>(_mm_movemask_epi8(v)));
  };
  return m(a) | (m(b) << 16) | (m(c) << 32) | (m(d) << 48);
}

/// The masks of the 64 bytes at `p`, all of which must be readable.
inline Masks classify64(const char* p) {
  const __m128i v0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  const __m128i v1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
  const __m128i v2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 32));
  const __m128i v3 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 48));
  auto eq = [](__m128i v, char c) { return _mm_cmpeq_epi8(v, _mm_set1_epi8(c)); };
  auto blank = [&](__m128i v) { return _mm_or_si128(eq(v, ' '), eq(v, '\t')); };
  // Two bits a byte carry the three classes: x marks newlines and ";", y blanks and ";".
  auto x = [&](__m128i v) { return _mm_or_si128(eq(v, '\n'), eq(v, ';')); };
  auto y = [&](__m128i v) { return _mm_or_si128(blank(v), eq(v, ';')); };
  const std::uint64_t xs = bits(x(v0), x(v1), x(v2), x(v3));
  const std::uint64_t ys = bits(y(v0), y(v1), y(v2), y(v3));
  Masks m{};
  m.newline = xs & ~ys;
  m.blank = ys & ~xs;
  m.semicolon = xs & ys;
  const __m128i c0 = eq(v0, '\r'), c1 = eq(v1, '\r'), c2 = eq(v2, '\r'), c3 = eq(v3, '\r');
  // Most sources hold no CR at all: its mask is assembled only when there is one.
  if (_mm_movemask_epi8(_mm_or_si128(_mm_or_si128(c0, c1), _mm_or_si128(c2, c3))) != 0) {
    m.cr = bits(c0, c1, c2, c3);
  }
  return m;
}

inline __m128i blank16(const char* p) {
  __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  return _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8(' ')), _mm_cmpeq_epi8(v, _mm_set1_epi8('\t')));
}

/// The first byte in [p, end) that is not a space or a tab, or `end`.
inline const char* skip_blanks(const char* p, const char* end) {
  while (end - p >= 64) {
    __m128i all = _mm_and_si128(_mm_and_si128(blank16(p), blank16(p + 16)),
                                _mm_and_si128(blank16(p + 32), blank16(p + 48)));
    if (_mm_movemask_epi8(all) != 0xFFFF) break;
    p += 64;
  }
  while (end - p >= 16) {
    unsigned m = static_cast<unsigned>(_mm_movemask_epi8(blank16(p)));
    if (m != 0xFFFF) return p + __builtin_ctz(~m);
    p += 16;
  }
  while (p < end && is_blank(*p)) ++p;
  return p;
}

/// The first space or tab in [p, end), or `end`.
inline const char* find_blank(const char* p, const char* end) {
  while (end - p >= 16) {
    unsigned m = static_cast<unsigned>(_mm_movemask_epi8(blank16(p)));
    if (m != 0) return p + __builtin_ctz(m);
    p += 16;
  }
  while (p < end && !is_blank(*p)) ++p;
  return p;
}

#else

inline Masks classify64(const char* p) {
  Masks m{0, 0, 0, 0};
  for (int k = 0; k < 64; ++k) {
    const std::uint64_t bit = std::uint64_t{1} << k;
    if (p[k] == '\n') m.newline |= bit;
    if (is_blank(p[k])) m.blank |= bit;
    if (p[k] == ';') m.semicolon |= bit;
    if (p[k] == '\r') m.cr |= bit;
  }
  return m;
}

inline const char* skip_blanks(const char* p, const char* end) {
  while (p < end && is_blank(*p)) ++p;
  return p;
}

inline const char* find_blank(const char* p, const char* end) {
  while (p < end && !is_blank(*p)) ++p;
  return p;
}

#endif

}  // namespace vorn::scan
