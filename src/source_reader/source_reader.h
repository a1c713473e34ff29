// Source reader: turns the source into upper-cased tokens, keeps the context that diagnostics
// show, and formats the diagnostics that end a run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "diagnostics/diagnostics.h"

namespace vorn {

/// Size of one read from a source file; a line longer than half of it is joined across reads.
constexpr std::size_t READ_BLOCK_SIZE = 32 * 1024;
/// Most bytes read at once into a line being joined.
constexpr std::size_t JOIN_READ_SIZE = 1024 * 1024;

/// The buffer of a line too long for one read. Its storage grows with realloc to powers of
/// two, so a long line costs about its own length in memory.
struct LineBuffer {
  char* data = nullptr;
  std::size_t size = 0;
  std::size_t capacity = 0;

  LineBuffer() = default;
  LineBuffer(const LineBuffer&) = delete;
  LineBuffer& operator=(const LineBuffer&) = delete;
  ~LineBuffer();
};


/// Reads up to `size` bytes of a source into `buf`: the count, 0 at the end, -1 on an error.
using ReadBlock = std::ptrdiff_t (*)(void* context, char* buf, std::size_t size);

/// The reader of one source and the context of its diagnostics.
struct SourceReader {
  ReadBlock read = nullptr;  // reads a streamed source; null when it is `window` itself
  void* read_context = nullptr;
  std::string_view window;        // bytes at hand: the whole in-memory source, or the last read
  bool window_in_joined = false;  // `window` is the rest of the last read into `joined`
  std::size_t pos = 0;            // next unread byte of `window`
  bool at_start = false;          // the first bytes are still to be looked at
  std::unique_ptr<char[]> block;  // read buffer of a file source, allocated at the first read
  std::size_t block_size = READ_BLOCK_SIZE;
  LineBuffer joined;          // a line that did not fit in one read, assembled whole
  std::string_view line;      // the line last read, without its newline and a CR before it
  std::size_t tok_pos = 0;    // where the next token of `line` starts to be looked for
  bool line_open = false;     // `line` may still hold tokens
  std::int64_t line_no = 0;   // lines read so far
  std::string_view current_token;  // the token taken last, upper-cased, in `token_store`
  std::unique_ptr<char[]> token_store;  // grows to the longest token, allocated at the first
  std::size_t token_capacity = 0;
  int pass_no = 1;
};

/// Makes `r` read the in-memory text `text`, which must outlive the reader.
void reader_from_text(SourceReader& r, std::string_view text);

/// Makes `r` read a streamed source in blocks of `block_size`, calling `read(context, ...)`.
void reader_from_stream(SourceReader& r, ReadBlock read, void* context);

/// Takes the next token; the end of the input is the error "unexpected end of file".
void take_token(SourceReader& r);

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

/// The value of the number `text` when it is one (true), reporting "number out of range" when
/// it does not fit; false when `text` is no number.
bool take_number(const SourceReader& r, std::string_view text, std::int32_t& value);

/// Takes the next token and returns its value; "expect number" when it is not a number.
std::int32_t read_number(SourceReader& r);

}  // namespace vorn
