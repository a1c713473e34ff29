// Source reader: turns the source into upper-cased tokens, keeps the context that diagnostics
// show, and formats the diagnostics that end a run.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "diagnostics/diagnostics.h"

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
  const char* line_start = nullptr;     // the line last read, up to its newline before...
  const char* line_bound = nullptr;     // ...this bound
  std::int64_t line_no = 0;             // lines read so far
  std::string_view current_token;       // the token taken last, upper-cased, in `token_store`
  std::unique_ptr<char[]> token_store;  // grows to the longest token, allocated at the first
  // Most tokens are taken from a chunk: 64 bytes of the window, upper-cased in one step, with
  // masks of their blanks and of the bytes below 0x21 that may end a token (bit k: byte k).
  const char* chunk = nullptr;  // its first byte in the window (set when reading starts)
  std::uint64_t chunk_blank = 0;
  std::uint64_t chunk_stop = ~std::uint64_t{0};  // none at hand: every byte stops
  std::uint64_t chunk_end = 0;                   // blanks and LFs: the ends of a token taken here
  char chunk_upper[64 + 8] = {};                 // eight bytes more, for an 8-byte load anywhere
  std::size_t token_capacity = 0;
  int pass_no = 1;
};

/// Eight bytes at `p` as a word whose first byte is the lowest, on every processor.
inline std::uint64_t load_word(const char* p) {
  std::uint64_t w = 0;
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(&w, p, 8);
  } else {
    for (int k = 7; k >= 0; --k) w = (w << 8) | static_cast<unsigned char>(p[k]);
  }
  return w;
}

/// The head of the current token: its first 8 bytes as a word, the first byte lowest, or all
/// of a shorter token, zero-extended. Eight bytes are always at hand where a token is kept.
inline std::uint64_t token_head(const SourceReader& r) {
  const std::size_t n = r.current_token.size();
  if (n == 0) return 0;
  const std::uint64_t w = load_word(r.current_token.data());
  return n >= 8 ? w : w & ((std::uint64_t{1} << (8 * n)) - 1);
}

/// Makes `r` read the in-memory text `text`, which must outlive the reader.
void reader_from_text(SourceReader& r, std::string_view text);

/// Makes `r` read a streamed source in blocks of `block_size`, calling `read(context, ...)`.
void reader_from_stream(SourceReader& r, ReadBlock read, void* context);

/// The line last read, without its newline and a CR before it; empty before the first.
std::string_view reader_line(const SourceReader& r);

/// The token step's path through the chunk at hand, which most tokens take, inline where
/// tokens are taken; the rest is in the reader.
namespace reader_chunk {

constexpr std::size_t CHUNK = 64;

/// take_token for a token that the chunk at hand does not hold, at `p`.
void take_token_off_chunk(SourceReader& r, const char* p);

/// The first byte past the chunk at hand that is not a blank: the end of a gap that runs on.
const char* skip_blanks_past_chunk(const SourceReader& r);

/// Makes the line that starts at `p` the current one.
inline void start_line(SourceReader& r, const char* p) {
  ++r.line_no;
  r.line_start = p;
  r.line_bound = r.window_end;
}

/// Takes the token at `p` from the chunk at hand when it lies there whole and a blank or a LF
/// ends it; false otherwise. Leaves `pos` at the next byte that is not a blank.
inline bool take_from_chunk(SourceReader& r, const char* p) {
  const auto at = static_cast<std::size_t>(p - r.chunk);  // p is never before the chunk
  if (at >= CHUNK) return false;
  const auto n = static_cast<std::size_t>(std::countr_zero(r.chunk_stop >> at));
  const std::size_t end = at + n;
  if (n == 0 || end >= CHUNK || ((r.chunk_end >> end) & 1) == 0) return false;
  r.current_token = std::string_view(r.chunk_upper + at, n);
  const std::uint64_t not_blank = ~r.chunk_blank >> end;  // bit 0: the byte after the token
  r.pos = not_blank != 0 ? p + n + std::countr_zero(not_blank) : skip_blanks_past_chunk(r);
  return true;
}

/// Takes the token at `p`, the first byte after the last token that is not a blank (mostly a
/// token's first or a LF), from the chunk at hand, entering the next line first when `p` is at
/// a LF and a plain byte begins that line; false when the chunk does not hold the token. A
/// token that begins with a byte below 0x21 or ";" is not taken here; where no chunk is at hand
/// (the start, the end of the input), every byte stops it.
inline bool take_on_chunk(SourceReader& r, const char*& p) {
  if (*p == '\n' && p + 1 != r.window_end && static_cast<unsigned char>(p[1]) > ' ' &&
      p[1] != ';') {
    start_line(r, ++p);
  }
  return *p != ';' && take_from_chunk(r, p);
}

}  // namespace reader_chunk

/// Takes the next token; the end of the input is the error "unexpected end of file".
inline void take_token(SourceReader& r) {
  const char* p = r.pos;
  if (!reader_chunk::take_on_chunk(r, p)) reader_chunk::take_token_off_chunk(r, p);
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

/// Takes the next token and returns its value; "expect number" when it is not a number.
std::int32_t read_number(SourceReader& r);

}  // namespace vorn
