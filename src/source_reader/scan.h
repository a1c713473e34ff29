// Byte scanning for the reader, a block at a time: SSE2 on x86-64 (always there), and plain
// loops elsewhere (WebAssembly, other processors), chosen when the code is built. The plain
// loops are built everywhere too, so that the tests hold the two against each other.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

#include "symtab/name_words.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vorn::scan {

inline bool is_blank(char c) {
  return c == ' ' || c == '\t';
}

/// Bit k of each mask says whether byte k of a 64-byte block is that character.
struct Masks {
  std::uint64_t newline;
  std::uint64_t blank;  // space or tab
  std::uint64_t semicolon;
  std::uint64_t cr;
};

/// Where a run of lines without tokens ends, and what the run passed over.
struct BlockSkip {
  const char* p;          // a line start
  const char* last_nl;    // the newline of the last line passed over, or null
  std::int64_t lines;     // lines passed over
};

/// The masks of the 64 bytes at `p`, byte by byte.
inline Masks classify64_plain(const char* p) {
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

/// A one in each byte of a word, and its high bit in each byte.
constexpr std::uint64_t ONES = 0x0101010101010101u;
constexpr std::uint64_t HIGHS = 0x8080808080808080u;

/// The eight bytes of `w` with "a" to "z" upper-cased; every other byte stays as it is.
inline std::uint64_t upper8(std::uint64_t w) {
  const std::uint64_t low7 = w & ~HIGHS;
  const std::uint64_t from_a = low7 + ONES * (0x80 - 'a');      // high bit: at least "a"
  const std::uint64_t past_z = low7 + ONES * (0x80 - 'z' - 1);  // high bit: past "z"
  return w ^ (((from_a ^ past_z) & ~w & HIGHS) >> 2);
}

/// A high bit at each byte of `w` below 0x21 (blanks, line ends, control bytes). Exact at the
/// lowest such byte; a borrow may mark bytes after it.
inline std::uint64_t low_bytes(std::uint64_t w) {
  return (w - ONES * 0x21) & ~w & HIGHS;
}

/// Writes the 16 bytes at `p` to `upper` with "a" to "z" upper-cased, and returns the index of
/// the first of them below 0x21, or 16 when there is none; two words at a time.
inline unsigned token_head16_plain(const char* p, char* upper) {
  const std::uint64_t w0 = load8(p);
  const std::uint64_t w1 = load8(p + 8);
  store8(upper, upper8(w0));
  store8(upper + 8, upper8(w1));
  const std::uint64_t low0 = low_bytes(w0);
  if (low0 != 0) return static_cast<unsigned>(std::countr_zero(low0)) >> 3;
  const std::uint64_t low1 = low_bytes(w1);
  return low1 != 0 ? 8 + (static_cast<unsigned>(std::countr_zero(low1)) >> 3) : 16;
}

/// The blanks that the 16 bytes at `p` begin with, byte by byte.
inline unsigned blanks_before16_plain(const char* p) {
  unsigned k = 0;
  while (k < 16 && is_blank(p[k])) ++k;
  return k;
}

/// The first byte in [p, end) that is not a space or a tab, or `end`, byte by byte.
inline const char* skip_blanks_plain(const char* p, const char* end) {
  while (p < end && is_blank(*p)) ++p;
  return p;
}

/// The last newline in [p, p + n), or null, byte by byte.
inline const char* last_newline_plain(const char* p, std::size_t n) {
  for (const char* q = p + n; q > p;) {
    if (*--q == '\n') return q;
  }
  return nullptr;
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

/// blanks_before16_plain in one vector step.
inline unsigned blanks_before16(const char* p) {
  const auto blanks = static_cast<unsigned>(_mm_movemask_epi8(blank16(p)));
  return static_cast<unsigned>(std::countr_zero(~blanks));  // 16 when all are
}

/// token_head16_plain in one vector step.
inline unsigned token_head16(const char* p, char* upper) {
  const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  const __m128i space = _mm_set1_epi8(' ');
  const __m128i stop = _mm_cmpeq_epi8(_mm_max_epu8(v, space), space);  // at most 0x20
  // "a" to "z" moved to the 26 least signed bytes, -128 to -103, and no other byte with them
  const __m128i moved = _mm_add_epi8(v, _mm_set1_epi8(static_cast<char>(0x80 - 'a')));
  const __m128i lower = _mm_cmplt_epi8(moved, _mm_set1_epi8(static_cast<char>(-128 + 26)));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(upper),
                   _mm_xor_si128(v, _mm_and_si128(lower, _mm_set1_epi8(0x20))));
  return static_cast<unsigned>(
      std::countr_zero(static_cast<unsigned>(_mm_movemask_epi8(stop)) | 0x10000u));
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
    if (m != 0xFFFF) return p + std::countr_zero(~m);
    p += 16;
  }
  while (p < end && is_blank(*p)) ++p;
  return p;
}

/// The last newline in [p, p + n), or null.
inline const char* last_newline(const char* p, std::size_t n) {
  const char* q = p + n;
  while (q - p >= 16) {
    q -= 16;
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q));
    const unsigned m =
        static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8('\n'))));
    if (m != 0) return q + (31 - std::countl_zero(m));
  }
  while (q > p) {
    if (*--q == '\n') return q;
  }
  return nullptr;
}

#else

inline const char* last_newline(const char* p, std::size_t n) {
  return last_newline_plain(p, n);
}

inline Masks classify64(const char* p) {
  return classify64_plain(p);
}

inline unsigned token_head16(const char* p, char* upper) {
  return token_head16_plain(p, upper);
}

inline unsigned blanks_before16(const char* p) {
  return blanks_before16_plain(p);
}

inline const char* skip_blanks(const char* p, const char* end) {
  return skip_blanks_plain(p, end);
}

#endif

// The number of set bits of `m`, in a few steps without a branch: std::popcount is a library
// call on x86-64 processors without the POPCNT instruction, which vorn does not assume.
inline int bit_count(std::uint64_t m) {
  m = m - ((m >> 1) & 0x5555555555555555u);
  m = (m & 0x3333333333333333u) + ((m >> 2) & 0x3333333333333333u);
  m = (m + (m >> 4)) & 0x0F0F0F0F0F0F0F0Fu;
  return static_cast<int>((m * 0x0101010101010101u) >> 56);
}

inline int highest_bit(std::uint64_t m) {
  return 63 - std::countl_zero(m);
}

// 1 for a space or a tab, else 0, without a branch.
inline std::uint64_t blank_byte(char c) {
  return std::uint64_t{c == ' '} | std::uint64_t{c == '\t'};
}

// Passes over lines 64 bytes at a time, across line ends, from the line start `s.p`, with the
// masks of each block: for every line in a block, its first byte that is
// not a blank is found with one addition over the masks (a carry runs through each line's
// leading blanks) and decides the line, so the cost per byte does not depend on how the lines
// are mixed. The two bytes after the block decide a ";" or a CR at its end. Leaves `s.p` at
// the start of the line it stopped in: true when that line may hold a token, false when fewer
// than 66 bytes are left.
inline bool skip_blocks(BlockSkip& s, const char* end) {
  const char* p = s.p;
  bool in_prefix = true;  // the line at s.p has had only blanks so far
  while (end - p >= 66) {
    const Masks m = classify64(p);
    // Masks of what follows each byte: bit k tells of byte k + 1. No branch depends on the
    // bytes here, so mixed lines cost no mispredictions.
    const std::uint64_t nl_after = (m.newline >> 1) | (std::uint64_t{p[64] == '\n'} << 63);
    const std::uint64_t blank_after = (m.blank >> 1) | (blank_byte(p[64]) << 63);
    const std::uint64_t crlf = m.cr & nl_after;
    const std::uint64_t crlf_after =
        (crlf >> 1) | ((std::uint64_t{p[64] == '\r'} & std::uint64_t{p[65] == '\n'}) << 63);
    const std::uint64_t starts = (m.newline << 1) | (in_prefix ? 1 : 0);
    const std::uint64_t landed = (m.blank + (starts & m.blank)) & ~m.blank;
    const std::uint64_t first = landed | (starts & ~m.blank);
    const std::uint64_t comment = m.semicolon & (blank_after | nl_after | crlf_after);
    const std::uint64_t token = first & ~m.newline & ~crlf & ~comment;
    // The newlines below the first token's byte (all of them when there is none).
    const std::uint64_t passed = m.newline & ((token & (~token + 1)) - 1);
    if (passed != 0) {
      s.lines += bit_count(passed);
      s.last_nl = p + highest_bit(passed);
      s.p = s.last_nl + 1;
    }
    if (token != 0) return true;
    // The line still open at the block's end: a comment, or blanks so far.
    const bool any_newline = m.newline != 0;
    const bool open_blank = ((first >> highest_bit(m.newline | 1)) >> 1) == 0;
    in_prefix = (any_newline & open_blank) | (!any_newline & in_prefix & (first == 0));
    p += 64;
  }
  return false;
}

}  // namespace vorn::scan
