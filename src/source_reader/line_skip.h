// The reader's one fast path: passing over lines that hold no token (blank, or a comment), 64
// bytes at a time, where large sources spend their time. A block is classified with SSE2 on
// x86-64 (always there) and byte by byte elsewhere (WebAssembly, other processors); the plain
// loop is built everywhere too, so that the tests hold the two against each other.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vorn::line_skip {

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
struct Skip {
  const char* p;        // a line start
  const char* last_nl;  // the newline of the last line passed over, or null
  std::int64_t lines;   // lines passed over
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

#if defined(__SSE2__)

// The byte mask of each of four 16-byte vectors, together 64 bits.
inline std::uint64_t bits(__m128i a, __m128i b, __m128i c, __m128i d) {
  const auto m = [](__m128i v) {
    return static_cast<std::uint64_t>(static_cast<std::uint16_t>(_mm_movemask_epi8(v)));
  };
  return m(a) | (m(b) << 16) | (m(c) << 32) | (m(d) << 48);
}

inline __m128i equal(__m128i v, char c) {
  return _mm_cmpeq_epi8(v, _mm_set1_epi8(c));
}

// Two bits a byte carry three classes: x marks newlines and ";", y blanks and ";".
inline __m128i class_x(__m128i v) {
  return _mm_or_si128(equal(v, '\n'), equal(v, ';'));
}

inline __m128i class_y(__m128i v) {
  return _mm_or_si128(_mm_or_si128(equal(v, ' '), equal(v, '\t')), equal(v, ';'));
}

/// The masks of the 64 bytes at `p`, all of which must be readable.
inline Masks classify64(const char* p) {
  const __m128i v0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  const __m128i v1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
  const __m128i v2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 32));
  const __m128i v3 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 48));
  const std::uint64_t xs = bits(class_x(v0), class_x(v1), class_x(v2), class_x(v3));
  const std::uint64_t ys = bits(class_y(v0), class_y(v1), class_y(v2), class_y(v3));
  Masks m{xs & ~ys, ys & ~xs, xs & ys, 0};
  const __m128i c0 = equal(v0, '\r'), c1 = equal(v1, '\r'), c2 = equal(v2, '\r');
  const __m128i c3 = equal(v3, '\r');
  // Most sources hold no CR at all: its mask is assembled only when there is one.
  if (_mm_movemask_epi8(_mm_or_si128(_mm_or_si128(c0, c1), _mm_or_si128(c2, c3))) != 0) {
    m.cr = bits(c0, c1, c2, c3);
  }
  return m;
}

#else

inline Masks classify64(const char* p) {
  return classify64_plain(p);
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
// masks of each block: for every line in a block, its first byte that is not a blank is found
// with one addition over the masks (a carry runs through each line's leading blanks) and
// decides the line, so the cost per byte does not depend on how the lines are mixed. The two
// bytes after the block decide a ";" or a CR at its end. Leaves `s.p` at the start of the line
// it stopped in, which may hold a token, or where fewer than 66 bytes are left.
inline Skip skip_blocks(const char* from, const char* end) {
  Skip s{from, nullptr, 0};
  const char* p = from;
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
    if (token != 0) break;
    // The line still open at the block's end: a comment, or blanks so far.
    const bool any_newline = m.newline != 0;
    const bool open_blank = ((first >> highest_bit(m.newline | 1)) >> 1) == 0;
    in_prefix = (any_newline & open_blank) | (!any_newline & in_prefix & (first == 0));
    p += 64;
  }
  return s;
}

}  // namespace vorn::line_skip
