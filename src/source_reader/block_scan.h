// The block scanner over lines without tokens, written once for every instruction set: the
// reader builds it with SSE2 (or plain loops), and scan-avx2.cpp with AVX2 for the processors
// that have it. Each file gets its own copy (internal linkage), built for its own instructions,
// so no copy built for AVX2 can stand in for another.
#pragma once

#include <cstdint>

namespace vorn::scan {

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

/// skip_blocks_with built for AVX2; only to be called where the processor has AVX2.
bool skip_blocks_avx2(BlockSkip& s, const char* end);

namespace {  // NOLINT: one copy per file on purpose, see above

// The number of set bits (without relying on a POPCNT instruction, which x86-64 may lack).
inline int count_bits(std::uint64_t m) {
  m = m - ((m >> 1) & 0x5555555555555555u);
  m = (m & 0x3333333333333333u) + ((m >> 2) & 0x3333333333333333u);
  m = (m + (m >> 4)) & 0x0F0F0F0F0F0F0F0Fu;
  return static_cast<int>((m * 0x0101010101010101u) >> 56);
}

inline int lowest_bit(std::uint64_t m) {
  return __builtin_ctzll(m);
}

inline int highest_bit(std::uint64_t m) {
  return 63 - __builtin_clzll(m);
}

// The bits below position k, 0 to 63.
inline std::uint64_t bits_below(int k) {
  return (std::uint64_t{1} << k) - 1;
}

inline bool blank_byte(char c) {
  return c == ' ' || c == '\t';
}

// Passes over lines 64 bytes at a time, across line ends, from the line start `s.p`, with the
// masks that `classify` gives for a block: for every line in a block, its first byte that is
// not a blank is found with one addition over the masks (a carry runs through each line's
// leading blanks) and decides the line, so the cost per byte does not depend on how the lines
// are mixed. The two bytes after the block decide a ";" or a CR at its end. Leaves `s.p` at
// the start of the line it stopped in: true when that line may hold a token, false when fewer
// than 66 bytes are left.
template <class Classify>
inline bool skip_blocks_with(BlockSkip& s, const char* end, Classify classify) {
  const char* p = s.p;
  bool in_prefix = true;  // the line at s.p has had only blanks so far
  constexpr std::uint64_t top = std::uint64_t{1} << 63;
  while (end - p >= 66) {
    const Masks m = classify(p);
    // Masks of what follows each byte: bit k tells of byte k + 1.
    const std::uint64_t nl_after = (m.newline >> 1) | (p[64] == '\n' ? top : 0);
    const std::uint64_t blank_after = (m.blank >> 1) | (blank_byte(p[64]) ? top : 0);
    const std::uint64_t crlf = m.cr & nl_after;
    const std::uint64_t crlf_after = (crlf >> 1) | (p[64] == '\r' && p[65] == '\n' ? top : 0);
    const std::uint64_t starts = (m.newline << 1) | (in_prefix ? 1 : 0);
    const std::uint64_t landed = (m.blank + (starts & m.blank)) & ~m.blank;
    const std::uint64_t first = landed | (starts & ~m.blank);
    const std::uint64_t comment = m.semicolon & (blank_after | nl_after | crlf_after);
    const std::uint64_t token = first & ~m.newline & ~crlf & ~comment;
    const std::uint64_t passed = token == 0 ? m.newline : m.newline & bits_below(lowest_bit(token));
    if (passed != 0) {
      s.lines += count_bits(passed);
      s.last_nl = p + highest_bit(passed);
      s.p = s.last_nl + 1;
    }
    if (token != 0) return true;
    // The line still open at the block's end: a comment, or blanks so far.
    if (m.newline != 0) {
      const int last = highest_bit(m.newline);
      in_prefix = last == 63 || (first >> (last + 1)) == 0;
    } else if (first != 0) {
      in_prefix = false;
    }
    p += 64;
  }
  return false;
}

}  // namespace

}  // namespace vorn::scan
