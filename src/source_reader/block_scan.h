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

inline int highest_bit(std::uint64_t m) {
  return 63 - __builtin_clzll(m);
}

// 1 for a space or a tab, else 0, without a branch.
inline std::uint64_t blank_byte(char c) {
  return std::uint64_t{c == ' '} | std::uint64_t{c == '\t'};
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
  while (end - p >= 66) {
    const Masks m = classify(p);
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
      s.lines += count_bits(passed);
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

}  // namespace

}  // namespace vorn::scan
