// Source reader: turns the source into upper-cased tokens, keeps the context that diagnostics
// show, and formats the diagnostics that end a run.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "diagnostics/diagnostics.h"
#include "source_reader/scan.h"
#include "symtab/name_words.h"

namespace vorn {

/// Size of one read from a source file; a line longer than what is at hand is read on in
/// larger reads.
constexpr std::size_t READ_BLOCK_SIZE = 32 * 1024;
/// Most bytes read at once into a line being joined.
constexpr std::size_t JOIN_READ_SIZE = 1024 * 1024;

/// A read buffer. Its storage grows with realloc to powers of two, so a long line costs about
/// its own length in memory.
struct LineBuffer {
  char* data = nullptr;
  std::size_t capacity = 0;

  LineBuffer() = default;
  LineBuffer(const LineBuffer&) = delete;
  LineBuffer& operator=(const LineBuffer&) = delete;
  ~LineBuffer();
};

/// Reads up to `size` bytes of a source into `buf`: the count, 0 at the end, -1 on an error.
using ReadBlock = std::ptrdiff_t (*)(void* context, char* buf, std::size_t size);

/// The reader of one source and the context of its diagnostics.
///
/// The bytes at hand, the window, are always whole lines: the window ends just after a
/// newline, and the last line of a source without one gets one of its own. So the token scan
/// needs no bounds but that newline.
struct SourceReader {
  ReadBlock read = nullptr;  // reads the source
  void* read_context = nullptr;
  std::string_view text;             // an in-memory source, read through the same path as a file
  std::size_t text_pos = 0;          // its next byte to read
  LineBuffer buffer;                 // the window, the line read before it, a cut line after
  const char* window = nullptr;      // the first byte at hand
  const char* window_end = nullptr;  // one past the window's last newline
  const char* data_end = nullptr;    // end of the bytes read: the start of a line may follow
  const char* pos = nullptr;         // next byte to look at, within the window
  bool at_start = true;              // nothing read yet
  bool at_eof = false;               // the source has no more bytes
  std::size_t block_size = READ_BLOCK_SIZE;
  // The line last entered, which diagnostics show.
  const char* line_start = nullptr;     // in the window, or kept just before it
  std::int64_t line_no = 0;             // lines read so far
  std::string_view current_token;       // the token taken last, upper-cased, in `token_store`
  std::unique_ptr<char[]> token_store;  // grows to the longest token, allocated at the first
  std::uint64_t current_head = 0;       // its first 8 bytes as a word (token_head)
  std::size_t token_capacity = 0;
  int pass_no = 1;
};

using scan::HIGHS;
using scan::ONES;

/// The bits of a word below bit `k`, which is at most 64.
inline std::uint64_t low_bits(std::size_t k) {
  return k >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << k) - 1;
}

/// For a token of `n` bytes, the bytes of a word that its head keeps.
struct HeadMasks {
  std::uint64_t at[17];
  constexpr HeadMasks() : at() {
    for (int n = 0; n <= 16; ++n)
      at[n] = n >= 8 ? ~std::uint64_t{0} : (std::uint64_t{1} << (8 * n)) - 1;
  }
};
inline constexpr HeadMasks HEAD_MASKS;

/// The head of the current token: its first 8 bytes as a word, the first byte lowest, or all
/// of a shorter token, zero-extended.
inline std::uint64_t token_head(const SourceReader& r) {
  return r.current_head;
}

/// Makes `r` read the in-memory text `text`, which must outlive the reader.
void reader_from_text(SourceReader& r, std::string_view text);

/// Makes `r` read a streamed source in blocks of `block_size`, calling `read(context, ...)`.
void reader_from_stream(SourceReader& r, ReadBlock read, void* context);

/// The line last read, without its newline and a CR before it; empty before the first.
std::string_view reader_line(const SourceReader& r);

/// The token step's plain path, which most tokens take, inline where tokens are taken; the
/// rest is in the reader.
namespace reader_step {

using scan::is_blank;

/// Bytes that begin a token wherever they stand: all but the blanks, the two bytes that may
/// end a line (LF, CR) and ";", which may begin a comment.
struct TokenStarts {
  bool at[256];
  constexpr TokenStarts() : at() {
    for (int c = 0; c < 256; ++c)
      at[c] = c != ' ' && c != '\t' && c != '\n' && c != '\r' && c != ';';
  }
};
inline constexpr TokenStarts TOKEN_STARTS;

inline bool starts_token(char c) {
  return TOKEN_STARTS.at[static_cast<unsigned char>(c)];
}

/// The bytes that end a token of the plain path: a blank, a LF.
struct EndsPlain {
  bool at[256];
  constexpr EndsPlain() : at() { at[0x20] = at[0x09] = at[0x0A] = true; }  // space, tab, LF
};
inline constexpr EndsPlain ENDS_PLAIN;

/// The first byte at `p` or after that is not a blank, `p` a blank; the window's last newline
/// stops it. Kept out of the token step: most gaps are one blank.
const char* skip_blank_run(const SourceReader& r, const char* p);

/// Where the next token step begins after a token that ends at `end`, a blank or a LF: past
/// the blanks there.
inline const char* past_token_end(const SourceReader& r, const char* end) {
  if (*end != '\n' && is_blank(*++end)) end = skip_blank_run(r, end);
  return end;
}

/// The token step for what the plain path does not take, from `p`: `pos`, or the first token
/// of the line the step has entered. False at the end of the input.
bool take_token_slow(SourceReader& r, const char* p);

/// take_token_slow, where the end of the input is an error.
void take_token_or_fail(SourceReader& r, const char* p);

/// Takes the next token on the plain path: one of up to 16 bytes that starts the line after
/// a LF or follows the token before it, begins with a byte that always begins one, and that a
/// blank or a LF ends. Its first word gives its length, its upper-cased head and its copy at
/// once. True when it is taken; false otherwise, with `p` where the full step goes on: the
/// line may be entered, and the token store is written only where a token begins, which the
/// full step then takes.
[[gnu::always_inline]] inline bool take_plain(SourceReader& r, const char*& p) {
  p = r.pos;
  if (!starts_token(*p)) {
    // a line begins: taken here when a token begins it, perhaps after blanks
    const char* const line = p + 1;
    if (*p != '\n' || line == r.window_end) return false;
    const char* q = line;
    if (!starts_token(*q)) {
      if (!is_blank(*q)) return false;
      q = skip_blank_run(r, q);
      if (!starts_token(*q)) return false;
    }
    ++r.line_no;
    r.line_start = line;
    p = q;
  }
  char* const store = r.token_store.get();
  const std::size_t n = scan::token_head16(p, store);
  // n is 0 only at a control byte, which no plain token ends at. At 16, all 16 bytes are the
  // token's and none is the window's last LF, so the byte after them is in the window too.
  if (!ENDS_PLAIN.at[static_cast<unsigned char>(p[n])]) return false;
  r.current_token = std::string_view(store, n);
  r.current_head = load8(store) & HEAD_MASKS.at[n];
  r.pos = past_token_end(r, p + n);
  return true;
}

}  // namespace reader_step

/// The number of the line last read, from 1; 0 before the first.
inline std::int64_t reader_line_no(const SourceReader& r) {
  return r.line_no;
}

/// Takes the next token; the end of the input is the error "unexpected end of file". Inline
/// wherever pass one takes a token, which it does for nearly every byte it reads.
[[gnu::always_inline]] inline void take_token(SourceReader& r) {
  const char* p = nullptr;
  if (!reader_step::take_plain(r, p)) reader_step::take_token_or_fail(r, p);
}

/// The finished diagnostic for `message` in the format of the current pass.
std::string format_diagnostic(const SourceReader& r, std::string_view message);

/// Ends the run with the diagnostic for `message`. Never returns.
[[noreturn]] void report_error(const SourceReader& r, std::string_view message);

/// What a token is as a number: not one, one that fits in 32 bits, or one that does not.
enum class NumberScan { not_number, in_range, out_of_range };

/// Checks and converts `text` in one pass: a number is an optional "-" followed by nothing but
/// decimal digits (so "" and "-" too, both 0). Sets `value` when the number is in range.
NumberScan scan_number(std::string_view text, std::int32_t& value);

/// True for the texts that scan_number takes as numbers.
bool is_number(std::string_view text);

/// The value of a text that `is_number` accepts; "number out of range" when it does not fit
/// in 32 bits.
std::int32_t number_value(const SourceReader& r, std::string_view text);

/// The value of `digits`, at most nine bytes (which fit in 32 bits, whatever they are), when
/// each is a decimal digit; false, leaving `value`, otherwise. "" is 0.
inline bool digits_value(std::string_view digits, std::int32_t& value) {
  std::int32_t magnitude = 0;
  for (char c : digits) {
    const unsigned digit = static_cast<unsigned>(c - '0');
    if (digit > 9) return false;
    magnitude = magnitude * 10 + static_cast<std::int32_t>(digit);
  }
  value = magnitude;
  return true;
}

/// take_number for a text that may be a number by its first byte.
bool take_number_scanned(const SourceReader& r, std::string_view text, std::int32_t& value);

/// The value of the number `text` when it is one (true), reporting "number out of range" when
/// it does not fit; false when `text` is no number. Most names are told by their first byte,
/// and most numbers, of up to nine digits without a sign, are converted here.
inline bool take_number(const SourceReader& r, std::string_view text, std::int32_t& value) {
  if (text.empty() || text.size() > 9 || text.front() == '-') {
    return take_number_scanned(r, text, value);
  }
  return digits_value(text, value);
}

/// A high bit in each byte of `w` that is no decimal digit, exact up to and including the
/// lowest such byte: a borrow or carry only ever passes upward, from a byte that is marked
/// already.
inline std::uint64_t non_digits(std::uint64_t w) {
  return ((w + ONES * 0x46) | (w - ONES * 0x30)) & HIGHS;
}

/// The value of the decimal digits that are the `n` lowest bytes of `w` (1 to 8 of them, the
/// first lowest), whatever the bytes above: combined at once, in pairs, fours and the whole.
inline std::int32_t digits_in_word(std::uint64_t w, std::size_t n) {
  if (n <= 4) {  // most numbers: pairs and the whole in 32 bits
    auto d = static_cast<std::uint32_t>((w ^ (ONES * 0x30)) & HEAD_MASKS.at[n]) << (8 * (4 - n));
    d = (d * 10 + (d >> 8)) & 0x00FF00FFu;
    d = (d * 100 + (d >> 16)) & 0xFFFFu;
    return static_cast<std::int32_t>(d);  // at most 9999
  }
  std::uint64_t d = ((w ^ (ONES * 0x30)) & HEAD_MASKS.at[n]) << (8 * (8 - n));  // leading zeros
  d = (d * 10 + (d >> 8)) & 0x00FF00FF00FF00FFu;
  d = (d * 100 + (d >> 16)) & 0x0000FFFF0000FFFFu;
  d = (d * 10000 + (d >> 32)) & 0xFFFFFFFFu;
  return static_cast<std::int32_t>(d);  // at most 99999999
}

/// The value of the digits whose bytes are the `n` lowest of `head` (1 to 8 of them, the
/// first lowest, zeros above) when each is a decimal digit; false, leaving `value`, otherwise.
inline bool head_digits_value(std::uint64_t head, std::size_t n, std::int32_t& value) {
  if ((non_digits(head) & HEAD_MASKS.at[n]) != 0) return false;
  value = digits_in_word(head, n);
  return true;
}

/// take_number for the current token past its first `skip` bytes (a prefix). A number of up
/// to eight digits is converted from the token's head.
inline bool take_token_number(const SourceReader& r, std::size_t skip, std::int32_t& value) {
  const std::string_view token = r.current_token;  // never shorter than `skip`
  const std::size_t n = token.size() - skip;
  const auto first = static_cast<unsigned char>(n != 0 ? token[skip] : 0);
  if (static_cast<unsigned>(first - '0') >
      9u) {  // mostly a name; a sign or nothing at all is a number too
    if (first != '-' && n != 0) return false;
  } else if (n + skip <= 8) {
    return head_digits_value(token_head(r) >> (8 * skip), n, value);
  }
  return take_number(r, token.substr(skip), value);
}

/// The number step, for most values: a token of one to eight decimal digits, without a sign,
/// that follows the token before it on its line and that a blank or a LF ends. Its digits are
/// their own upper-cased copy, so its bytes go to the token store as they stand, and its value
/// comes from the same word. False, having taken nothing, for any other token.
[[gnu::always_inline]] inline bool take_plain_number(SourceReader& r, std::int32_t& value) {
  const char* const p = r.pos;
  const std::uint64_t w = load8(p);  // the window's padding is at hand past its last line
  const std::uint64_t others = non_digits(w);
  const auto n = static_cast<std::size_t>(others == 0 ? 8 : std::countr_zero(others) >> 3);
  if (n == 0 || !reader_step::ENDS_PLAIN.at[static_cast<unsigned char>(p[n])]) return false;
  char* const store = r.token_store.get();
  store8(store, w);
  r.current_token = std::string_view(store, n);
  r.current_head = w & HEAD_MASKS.at[n];
  r.pos = reader_step::past_token_end(r, p + n);
  value = digits_in_word(w, n);
  return true;
}

/// read_number for a value the number step does not take.
std::int32_t read_number_slow(SourceReader& r);

/// Takes the next token and returns its value; "expect number" when it is not a number.
[[gnu::always_inline]] inline std::int32_t read_number(SourceReader& r) {
  std::int32_t value = 0;
  return take_plain_number(r, value) ? value : read_number_slow(r);
}

}  // namespace vorn
