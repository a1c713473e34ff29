// Source reader: turns the source into upper-cased tokens, and keeps what a pass-one diagnostic
// shows: the line number, the token taken last and its line. Names here follow one rule: a
// take_ function reports what goes wrong as the run's error; a scan_ function never does.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "diagnostics/diagnostics.h"

namespace vorn {

constexpr std::size_t READ_BLOCK_SIZE = 32 * 1024;  // bytes asked for in one read
/// Reads up to `size` bytes of a source into `buf`: the count, 0 at the end, -1 on an error.
using ReadBlock = std::ptrdiff_t (*)(void* context, char* buf, std::size_t size);

/// The bytes at hand and where the reader stands in them: the reader's own.
struct ReaderState;
struct ReaderStateFree {
  void operator()(ReaderState* s) const;
};

/// The reader of one source.
struct SourceReader {
  std::string_view current_token;  // the token taken last, upper-cased
  std::uint32_t token_hash = 0;    // name_hash (symtab.h) of current_token
  std::int64_t line_no = 0;        // lines entered so far
  std::unique_ptr<ReaderState, ReaderStateFree> state;
};

/// Makes `r` read the text `text` (which must outlive it), or a source in blocks of
/// `block_size` bytes through `read`.
void reader_from_text(SourceReader& r, std::string_view text);
void reader_from_stream(SourceReader& r, ReadBlock read, void* context,
                        std::size_t block_size = READ_BLOCK_SIZE);

/// Takes the next token; false at the end of the input, leaving the last token and line.
bool scan_token(SourceReader& r);

/// scan_token, where the end of the input is the error "unexpected end of file".
void take_token(SourceReader& r);

/// The first byte of the current token on its line, a byte-order mark counted; -1 once the
/// input has ended.
std::int64_t token_column(const SourceReader& r);

/// Whether `text` is a number ("-" or nothing, then only decimal digits; "" and "-" are 0),
/// its value in `value`; a number past 32 bits is the error "number out of range".
bool take_number(const SourceReader& r, std::string_view text, std::int32_t& value);

/// Takes the next token as a number, its value; "expect number" when it is none.
std::int32_t take_number_token(SourceReader& r);

/// Ends the run with the pass-one diagnostic for `message`, at the current token and its
/// line. Never returns.
[[noreturn]] void report_error(const SourceReader& r, std::string_view message);

}  // namespace vorn
