#include "source_reader/source_reader.h"
#include "source_reader/source_reader_internal.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

#include "source_reader/scan.h"

namespace vorn {

namespace {

using scan::is_blank;

// Upper-cases an ASCII letter, without a branch; every other byte stays as it is.
char to_upper(char c) {
  return static_cast<char>(c - (static_cast<unsigned>(c - 'a') < 26u ? 'a' - 'A' : 0));
}

// The first byte in [p, end) that is not a blank. Blanks between tokens are mostly a few, so
// the first bytes are looked at one by one and only a longer run goes to the block scanner.
const char* skip_gap(const char* p, const char* end) {
  for (const char* stop = end - p > 8 ? p + 8 : end; p < stop; ++p) {
    if (!is_blank(*p)) return p;
  }
  return scan::skip_blanks(p, end);
}

// How a line ends, the one rule of the input: a line runs to its LF; a CR right before the LF,
// or at the very end of the input, belongs to the line end, not to the line, so that CR LF
// sources read as LF ones on every platform. (The blank-line scanner recognises the same two
// line ends, "\n" and "\r\n", when it passes over lines without a token.)
std::string_view without_line_end(std::string_view line) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

// Makes room for at least `capacity` bytes; throws std::bad_alloc when memory runs out.
void line_buffer_reserve(LineBuffer& b, std::size_t capacity) {
  if (capacity <= b.capacity) return;
  if (capacity > SIZE_MAX / 4) throw std::bad_alloc();
  std::size_t grown_capacity = b.capacity < 65536 ? 65536 : b.capacity;
  while (grown_capacity < capacity) grown_capacity *= 2;
  char* grown = static_cast<char*>(std::realloc(b.data, grown_capacity));
  if (grown == nullptr) throw std::bad_alloc();
  b.data = grown;
  b.capacity = grown_capacity;
}

// Reads up to `size` bytes of the streamed source into `buf`. Returns the count, 0 at its end.
std::size_t read_more(SourceReader& r, char* buf, std::size_t size) {
  std::ptrdiff_t n = r.read(r.read_context, buf, size);
  if (n < 0) throw AsmError{line_of(msg::CANNOT_READ_INPUT)};
  return static_cast<std::size_t>(n);
}

// Moves the `keep` bytes at hand (the start of a line that a read cut, or none) to the front of
// the read buffer and reads on after them into `window`. Returns false at the end of the input.
bool refill_keeping(SourceReader& r, std::size_t keep) {
  if (!r.block) r.block.reset(new char[r.block_size]);  // left unset: the read fills it
  if (keep > 0) std::memmove(r.block.get(), r.window.data() + r.pos, keep);
  const std::size_t n = read_more(r, r.block.get() + keep, r.block_size - keep);
  r.window = std::string_view(r.block.get(), keep + n);
  r.window_in_joined = false;
  r.pos = 0;
  return n > 0;
}

// Reads the next block of a streamed source into `window`. Returns false at its end.
bool refill(SourceReader& r) {
  return r.read != nullptr && refill_keeping(r, 0);
}

// What the first bytes of the source say of its encoding, looked at before the first line.
// The UTF-8 byte-order mark that Windows tools write (Notepad, PowerShell) is no part of the
// text and is passed over; a UTF-16 text ends the run with a message that names its encoding.
void take_byte_order_mark(SourceReader& r) {
  r.at_start = false;
  if (r.read != nullptr && refill(r)) {
    while (r.window.size() < 3 && refill_keeping(r, r.window.size())) {
    }
  }
  const std::string_view head = r.window.substr(0, 3);
  if (head == "\xEF\xBB\xBF") {
    r.pos = 3;
  } else if (head.substr(0, 2) == "\xFF\xFE" || head.substr(0, 2) == "\xFE\xFF") {
    throw AsmError{line_of(msg::INPUT_IS_UTF16)};
  }
}

// The line at `start` runs past the `avail` bytes at hand: it is assembled whole in `joined`,
// the rest of it read straight into the buffer. What a read brings past the line's newline stays there as the bytes at hand.
void join_long_line(SourceReader& r, const char* start, std::size_t avail) {
  LineBuffer& b = r.joined;
  if (r.window_in_joined) {
    std::memmove(b.data, start, avail);  // the bytes at hand already lie in the buffer
  } else {
    line_buffer_reserve(b, avail);
    if (avail > 0) std::memcpy(b.data, start, avail);
  }
  b.size = avail;
  r.window = {};
  r.window_in_joined = false;
  r.pos = 0;
  while (r.read != nullptr) {
    line_buffer_reserve(b, b.size + READ_BLOCK_SIZE);
    const std::size_t room = std::min(b.capacity - b.size, JOIN_READ_SIZE);
    const std::size_t n = read_more(r, b.data + b.size, room);
    if (n == 0) break;
    const char* fresh = b.data + b.size;
    b.size += n;
    const void* nl = std::memchr(fresh, '\n', n);
    if (nl != nullptr) {
      const char* after = static_cast<const char*>(nl) + 1;
      r.line = std::string_view(b.data, static_cast<std::size_t>(after - 1 - b.data));
      r.window = std::string_view(after, static_cast<std::size_t>(b.data + b.size - after));
      r.window_in_joined = true;
      return;
    }
  }
  r.line = std::string_view(b.data, b.size);  // the input ended within the line
}

// Reads the next whole line into `line`. Returns false at the end of the input.
bool read_line(SourceReader& r) {
  if (r.pos >= r.window.size() && !refill(r)) return false;
  std::size_t searched = 0;  // bytes at hand already searched for the newline
  for (;;) {
    const char* start = r.window.data() + r.pos;
    const std::size_t avail = r.window.size() - r.pos;
    const void* nl = std::memchr(start + searched, '\n', avail - searched);
    if (nl != nullptr) {
      std::size_t len = static_cast<std::size_t>(static_cast<const char*>(nl) - start);
      r.line = std::string_view(start, len);
      r.pos += len + 1;
      break;
    }
    if (r.read != nullptr && avail < r.block_size / 2) {
      // An ordinary line that a read cut: read on in the same buffer.
      searched = avail;
      if (refill_keeping(r, avail)) continue;
    } else if (r.read != nullptr) {
      join_long_line(r, start, avail);  // a long line, in a buffer of its own
      break;
    }
    r.line = std::string_view(r.window.data() + r.pos, r.window.size() - r.pos);  // the last line
    r.pos = r.window.size();
    break;
  }
  r.line = without_line_end(r.line);
  return true;
}

// True when the line whose first byte that is not a blank is at `q` holds no token: it ends
// there, or its first token is exactly ";" (a comment). `nl` is then its newline.
bool holds_no_token(const char* q, const char* end, const char*& nl) {
  if (q < end && *q == '\n') {
    nl = q;
  } else if (end - q >= 2 && q[0] == '\r' && q[1] == '\n') {
    nl = q + 1;
  } else if (end - q >= 2 && q[0] == ';' &&
             (is_blank(q[1]) || q[1] == '\n' || (end - q >= 3 && q[1] == '\r' && q[2] == '\n'))) {
    nl = static_cast<const char*>(std::memchr(q, '\n', static_cast<std::size_t>(end - q)));
  } else {
    nl = nullptr;
  }
  return nl != nullptr;
}

using scan::BlockSkip;
using scan::skip_blocks;

// Passes over one line that holds no token at the line start `s.p`. False when it may hold one
// or runs past `end`.
bool skip_one_line(BlockSkip& s, const char* end) {
  const char* nl = nullptr;
  if (!holds_no_token(scan::skip_blanks(s.p, end), end, nl)) return false;
  ++s.lines;
  s.last_nl = nl;
  s.p = nl + 1;
  return true;
}

// Passes over whole lines that hold no token (only blanks, perhaps a comment) within the bytes
// at hand, counting them. Stops at the start of the first line that may hold a token or that
// runs past the bytes at hand; read_line takes it. Returns how many blanks that line is known
// to begin with, so that its first token is looked for only once.
std::size_t skip_empty_lines(SourceReader& r) {
  const char* const base = r.window.data();
  const char* const end = base + r.window.size();
  const char* const from = base + r.pos;
  BlockSkip s{from, nullptr, 0};
  // Most lines of a program hold a token: that is told from their first bytes.
  const char* q = skip_gap(from, end);
  if (q < end && *q != '\n' && *q != '\r' && *q != ';') return static_cast<std::size_t>(q - from);
  // Lines that begin with a comment, each passed over with one search for its newline.
  while (end - s.p >= 2 && s.p[0] == ';' && is_blank(s.p[1])) {
    const void* nl = std::memchr(s.p + 2, '\n', static_cast<std::size_t>(end - s.p - 2));
    if (nl == nullptr) break;
    ++s.lines;
    s.last_nl = static_cast<const char*>(nl);
    s.p = s.last_nl + 1;
  }
  if (!skip_blocks(s, end)) {
    while (skip_one_line(s, end)) {  // the last few bytes at hand, one line at a time
    }
  }
  r.line_no += s.lines;
  r.pos = static_cast<std::size_t>(s.p - base);
  if (s.last_nl != nullptr) {
    const char* start = s.last_nl;
    while (start > from && start[-1] != '\n') --start;
    r.line = std::string_view(start, static_cast<std::size_t>(s.last_nl - start));
    r.line = without_line_end(r.line);
  }
  return 0;
}

// Doubles the token store, keeping the first `kept` bytes; throws std::bad_alloc when memory
// runs out.
void grow_token_store(SourceReader& r, std::size_t kept) {
  if (r.token_capacity > SIZE_MAX / 4) throw std::bad_alloc();
  const std::size_t capacity = r.token_capacity < 64 ? 64 : 2 * r.token_capacity;
  std::unique_ptr<char[]> grown(new char[capacity]);
  if (kept > 0) std::memcpy(grown.get(), r.token_store.get(), kept);
  r.token_store = std::move(grown);
  r.token_capacity = capacity;
}

// Takes the token that starts at `p` into the token store, upper-cased, in one pass over its
// bytes, and returns its end: the first blank, or `end`. The store grows only when a token is
// longer than any before it.
const char* take_upper(SourceReader& r, const char* p, const char* const end) {
  std::size_t n = 0;
  for (;;) {
    const std::size_t room = r.token_capacity - n;
    const char* const stop = static_cast<std::size_t>(end - p) > room ? p + room : end;
    char* const store = r.token_store.get();
    std::size_t k = n;
    for (; p < stop && !is_blank(*p); ++p) store[k++] = to_upper(*p);
    n = k;
    if (p == end || is_blank(*p)) break;
    grow_token_store(r, n);
  }
  r.current_token = std::string_view(r.token_store.get(), n);
  return p;
}

}  // namespace

LineBuffer::~LineBuffer() {
  std::free(data);
}

void reader_from_text(SourceReader& r, std::string_view text) {
  r.read = nullptr;
  r.window = text;
  r.window_in_joined = false;
  r.pos = 0;
  r.at_start = true;
}

void reader_from_stream(SourceReader& r, ReadBlock read, void* context) {
  r.read = read;
  r.read_context = context;
  r.window = {};
  r.window_in_joined = false;
  r.pos = 0;
  r.at_start = true;
}

bool next_token(SourceReader& r) {
  for (;;) {
    if (r.line_open) {
      // Within a line, the delimiters are the blanks: the line holds no newline.
      const char* const line = r.line.data();
      const char* const line_end = line + r.line.size();
      const char* p = skip_gap(line + r.tok_pos, line_end);
      if (p < line_end) {
        if (*p == ';' && (p + 1 == line_end || is_blank(p[1]))) {
          r.line_open = false;  // a comment runs to the end of its line
          continue;
        }
        r.tok_pos = static_cast<std::size_t>(take_upper(r, p, line_end) - line);
        return true;
      }
      r.line_open = false;
    }
    if (r.at_start) take_byte_order_mark(r);
    const std::size_t lead = skip_empty_lines(r);
    if (!read_line(r)) return false;
    ++r.line_no;
    r.tok_pos = lead;
    r.line_open = true;
  }
}

void take_token(SourceReader& r) {
  if (!next_token(r)) report_error(r, msg::UNEXPECTED_END_OF_FILE);
}

std::string format_diagnostic(const SourceReader& r, std::string_view message) {
  return r.pass_no == 1 ? format_pass_one(r.line_no, message, r.current_token, r.line)
                        : format_pass_two(message);
}

void report_error(const SourceReader& r, std::string_view message) {
  throw AsmError{format_diagnostic(r, message)};
}

NumberScan scan_number(std::string_view text, std::int32_t& value) {
  const bool negative = !text.empty() && text.front() == '-';
  if (negative) text.remove_prefix(1);
  // The magnitude is kept at most 2^31 + 9, so it never overflows however many digits come;
  // digits past an overflow are still checked, as the whole text must be a number.
  constexpr std::uint64_t limit = std::uint64_t{1} << 31;
  std::uint64_t magnitude = 0;
  bool too_big = false;
  for (char c : text) {
    const unsigned digit = static_cast<unsigned>(c - '0');
    if (digit > 9) return NumberScan::not_number;
    magnitude = magnitude * 10 + digit;
    if (magnitude > limit) {
      too_big = true;
      magnitude = limit + 1;
    }
  }
  if (too_big || (!negative && magnitude == limit)) return NumberScan::out_of_range;
  const std::int64_t signed_magnitude = static_cast<std::int64_t>(magnitude);
  value = static_cast<std::int32_t>(negative ? -signed_magnitude : signed_magnitude);
  return NumberScan::in_range;
}

bool is_number(std::string_view text) {
  std::int32_t value = 0;
  return scan_number(text, value) != NumberScan::not_number;
}

bool take_number(const SourceReader& r, std::string_view text, std::int32_t& value) {
  switch (scan_number(text, value)) {
    case NumberScan::not_number:
      return false;
    case NumberScan::out_of_range:
      report_error(r, msg::NUMBER_OUT_OF_RANGE);
    case NumberScan::in_range:
      break;
  }
  return true;
}

std::int32_t number_value(const SourceReader& r, std::string_view text) {
  std::int32_t value = 0;
  take_number(r, text, value);
  return value;
}

std::int32_t read_number(SourceReader& r) {
  take_token(r);
  std::int32_t value = 0;
  if (!take_number(r, r.current_token, value)) report_error(r, msg::EXPECT_NUMBER);
  return value;
}

}  // namespace vorn
