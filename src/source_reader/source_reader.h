// Source reader: turns the source into upper-cased tokens, keeps the context that diagnostics
// show (the line number, the token taken last and its line), and ends a run with a diagnostic.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "diagnostics/diagnostics.h"

namespace vorn {

constexpr std::size_t READ_BLOCK_SIZE = 32 * 1024;  // bytes asked for in one read
/// Reads up to `size` bytes of a source into `buf`: the count, 0 at the end, -1 on an error.
using ReadBlock = std::ptrdiff_t (*)(void* context, char* buf, std::size_t size);

/// Frees the reader's buffer, which grows with realloc: a long line costs about its own length.
struct FreeBuffer {
  void operator()(char* p) const;
};

/// The reader of one source. The bytes at hand, the window, are whole lines, each with a LF.
struct SourceReader {
  ReadBlock read = nullptr;
  void* read_context = nullptr;
  std::string_view text;  // an in-memory source, read through the same path as a file
  std::size_t text_pos = 0;
  std::size_t block_size = READ_BLOCK_SIZE;
  std::unique_ptr<char[], FreeBuffer> buffer;  // the line last entered, the window, a cut line
  std::size_t capacity = 0;                    // bytes at `buffer`
  const char* window_end = nullptr;            // one past the window's last LF
  const char* data_end = nullptr;              // one past the bytes read
  const char* pos = nullptr;                   // the next byte to look at
  bool at_start = true;                        // nothing read yet
  bool at_eof = false;                         // the source has no more bytes
  const char* line_start = nullptr;            // the line last entered, which diagnostics show
  std::int64_t line_no = 0;                    // lines entered so far
  std::string_view current_token;     // the token taken last, upper-cased, in `token_store`
  std::string token_store;            // grows to the longest token
  const char* token_start = nullptr;  // the current token in the window; null past the input
  std::size_t mark_length = 0;        // the byte-order mark, counted in line 1's columns
  int pass_no = 1;
};

/// Makes `r` read the text `text` (which must outlive it), or a source in blocks through `read`.
void reader_from_text(SourceReader& r, std::string_view text);
void reader_from_stream(SourceReader& r, ReadBlock read, void* context);

/// Takes the next token; false at the end of the input, leaving the last token and line.
bool next_token(SourceReader& r);

/// next_token, where the end of the input is the error "unexpected end of file".
void take_token(SourceReader& r);

/// The line last entered, without its line end (empty before the first), and the first byte of
/// the current token on it (-1 once the input has ended).
std::string_view reader_line(const SourceReader& r);
std::int64_t token_column(const SourceReader& r);

/// A number is "-" or nothing, then only decimal digits ("" and "-" are 0), in 32 bits or not.
enum class NumberScan { not_number, in_range, out_of_range };

/// The one number parser: tells what `text` is, and sets `value` when it is in range.
NumberScan scan_number(std::string_view text, std::int32_t& value);

/// scan_number where a number out of range is the error "number out of range".
bool take_number(const SourceReader& r, std::string_view text, std::int32_t& value);

/// Takes the next token and returns its value; "expect number" when it is not a number.
std::int32_t read_number(SourceReader& r);

/// The finished diagnostic for `message` in the format of the current pass.
std::string format_diagnostic(const SourceReader& r, std::string_view message);

/// Ends the run with the diagnostic for `message`. Never returns.
[[noreturn]] void report_error(const SourceReader& r, std::string_view message);

}  // namespace vorn
