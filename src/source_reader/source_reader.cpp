#include "source_reader/source_reader.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

#include "source_reader/scan.h"
#include "source_reader/source_reader_internal.h"
#include "symtab/name_words.h"

namespace vorn {

namespace {

using scan::is_blank;

// Zeroed bytes kept after the bytes read, so that the token scan may load two words anywhere
// in the window.
constexpr std::size_t PAD = 16;

// Where the window stands before the first read: no bytes at hand, and the zeroed bytes that
// the token step may load there, as after the bytes read.
constexpr char NOTHING_READ[PAD] = {};

// How a line ends, the one rule of the input: a line runs to its LF; a CR right before the LF,
// or at the very end of the input, belongs to the line end, not to the line, so that CR LF
// sources read as LF ones on every platform. (The source's last line gets a LF of its own, so
// a CR at the very end is one before a LF.)
bool at_line_end(const char* p) {
  return p[0] == '\n' || (p[0] == '\r' && p[1] == '\n');
}

// True when the token at `p` is exactly ";", which starts a comment to the end of its line.
bool at_comment(const char* p) {
  return p[0] == ';' && (is_blank(p[1]) || at_line_end(p + 1));
}

using reader_step::starts_token;
using scan::low_bytes;
using scan::upper8;

// The first byte at `p` or after that is not a blank; the window's last newline stops it. A gap
// is mostly one blank, so the first two bytes are looked at one by one.
const char* skip_gap(const char* p, const char* end) {
  if (!is_blank(*p)) return p;
  if (!is_blank(*++p)) return p;
  return scan::skip_blanks(p, end);
}

// Makes room for at least `capacity` bytes, keeping the first `kept`; throws std::bad_alloc
// when memory runs out.
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

// Reads up to `size` bytes of the source into `buf`. Returns the count, 0 at its end.
std::size_t read_more(SourceReader& r, char* buf, std::size_t size) {
  std::ptrdiff_t n = r.read(r.read_context, buf, size);
  if (n < 0) throw AsmError{line_of(msg::CANNOT_READ_INPUT)};
  return static_cast<std::size_t>(n);
}

// The read function of an in-memory source.
std::ptrdiff_t read_text(void* context, char* buf, std::size_t size) {
  SourceReader& r = *static_cast<SourceReader*>(context);
  const std::size_t n = std::min(size, r.text.size() - r.text_pos);
  if (n > 0) std::memcpy(buf, r.text.data() + r.text_pos, n);
  r.text_pos += n;
  return static_cast<std::ptrdiff_t>(n);
}

// What the first bytes of the source say of its encoding, looked at before the first line.
// The UTF-8 byte-order mark that Windows tools write (Notepad, PowerShell) is no part of the
// text and is passed over; a UTF-16 text ends the run with a message that names its encoding.
// Without a mark, UTF-16 shows as one NUL among the first two bytes (the high byte of its
// first character): no program can begin so, as its first token is ".SYMBOL" or ";".
void take_byte_order_mark(SourceReader& r) {
  const std::string_view head(r.window, std::min<std::size_t>(3, r.data_end - r.window));
  const bool one_nul = head.size() >= 2 && (head[0] == '\0') != (head[1] == '\0');
  if (head == "\xEF\xBB\xBF") {
    r.pos += 3;
  } else if (head.substr(0, 2) == "\xFF\xFE" || head.substr(0, 2) == "\xFE\xFF" || one_nul) {
    throw AsmError{line_of(msg::INPUT_IS_UTF16)};
  }
}

// Reads the next whole lines after the start of a line that the last read cut, and makes them
// the window. The line last read, which a diagnostic may still show, is kept before them: it
// and the cut line are moved to the buffer's front, unless they are long (a long line stays
// where it is and the reads go on after it). A line longer than the bytes at hand is read on,
// in reads that grow with it, until its newline comes. Returns false at the end of the input.
bool refill(SourceReader& r) {
  if (r.at_eof) return false;
  LineBuffer& b = r.buffer;
  std::size_t size = 0;      // bytes kept at the buffer's front
  std::size_t line_at = 0;   // where the line last read starts, and its bound, from the front
  std::size_t bound_at = 0;  // (the window read last ends there too)
  if (!r.at_start) {
    const char* keep = r.line_start != nullptr ? r.line_start : r.window_end;
    std::size_t drop = static_cast<std::size_t>(keep - b.data);
    if (static_cast<std::size_t>(r.data_end - keep) > JOIN_READ_SIZE) drop = 0;
    size = static_cast<std::size_t>(r.data_end - b.data) - drop;
    if (drop > 0) std::memmove(b.data, b.data + drop, size);
    line_at = static_cast<std::size_t>(keep - b.data) - drop;
    bound_at = static_cast<std::size_t>(r.window_end - b.data) - drop;
  }
  const char* nl = nullptr;
  for (;;) {
    const std::size_t cut = size - bound_at;  // the start of a line that a read cut
    const std::size_t want = std::max(r.block_size, std::min(cut, JOIN_READ_SIZE));
    line_buffer_reserve(b, size + want + PAD);
    const std::size_t n = read_more(r, b.data + size, want);
    if (n == 0) {
      r.at_eof = true;
      if (cut == 0) break;    // nothing more at hand
      b.data[size++] = '\n';  // the last line's own newline
      nl = b.data + size - 1;
      break;
    }
    nl = scan::last_newline(b.data + size, n);
    size += n;
    if (nl != nullptr) break;
  }
  if (r.line_start != nullptr) r.line_start = b.data + line_at;
  r.window = r.pos = b.data + bound_at;
  r.window_end = r.data_end = nl != nullptr ? nl + 1 : r.window;
  if (nl == nullptr) return false;
  r.data_end = b.data + size;
  std::memset(b.data + size, 0, PAD);
  if (r.at_start) {
    r.at_start = false;
    take_byte_order_mark(r);
  }
  return true;
}

// True when the line whose first byte that is not a blank is at `q`, before `end`, holds no
// token: it ends there, or its first token is exactly ";" (a comment). `nl` is then its newline.
bool holds_no_token(const char* q, const char* end, const char*& nl) {
  if (q >= end || (!at_line_end(q) && !at_comment(q))) return false;
  nl = *q == '\n'
           ? q
           : static_cast<const char*>(std::memchr(q, '\n', static_cast<std::size_t>(end - q)));
  return true;
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

// Passes over the line at `from`, which holds no token, and every line after it in the window
// that holds none (only blanks, perhaps a comment), counting them. Returns the start of the
// first line that may hold a token, or the window's end.
const char* pass_empty_lines(SourceReader& r, const char* from) {
  const char* const end = r.window_end;
  BlockSkip s{from, nullptr, 0};
  // Lines that begin with a comment, each passed over with one search for its newline.
  while (end - s.p >= 2 && s.p[0] == ';' && is_blank(s.p[1])) {
    const void* nl = std::memchr(s.p + 2, '\n', static_cast<std::size_t>(end - s.p - 2));
    ++s.lines;
    s.last_nl = static_cast<const char*>(nl);
    s.p = s.last_nl + 1;
  }
  if (!skip_blocks(s, end)) {
    while (skip_one_line(s, end)) {  // the last few bytes at hand, one line at a time
    }
  }
  if (s.lines == 0) {  // the line at `from` all the same, should the scanners not tell it
    s.last_nl =
        static_cast<const char*>(std::memchr(from, '\n', static_cast<std::size_t>(end - from)));
    s.lines = 1;
    s.p = s.last_nl + 1;
  }
  r.line_no += s.lines;
  const char* start = s.last_nl;
  while (start > from && start[-1] != '\n') --start;
  r.line_start = start;
  return s.p;
}

// Makes the line that starts at `p` the current one, its first byte that is not a blank at `q`.
void begin_line(SourceReader& r, const char* p, const char* q) {
  ++r.line_no;
  r.line_start = p;
  r.pos = q;
}

// Makes the line at `p`, a line start in the window or its end, the current one, reading on
// when the window is used up and passing over lines that hold no token. Returns false at the
// end of the input; else `pos` is the line's first token. Kept out of the token step, which
// it would otherwise weigh down with registers to save.
[[gnu::noinline]] bool enter_line_slow(SourceReader& r, const char* p) {
  for (;;) {
    if (p == r.window_end) {
      if (!refill(r)) return false;
      p = r.pos;
    }
    const char* q = skip_gap(p, r.window_end);
    if (!at_line_end(q) && !at_comment(q)) {
      begin_line(r, p, q);
      return true;
    }
    p = pass_empty_lines(r, p);
  }
}

// The same for most lines, which begin with a token.
inline bool enter_line(SourceReader& r, const char* p) {
  if (p == r.window_end || !starts_token(*p)) return enter_line_slow(r, p);
  begin_line(r, p, p);
  return true;
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

// Makes the first `n` bytes of the token store the current token; eight bytes are always at
// hand there.
void set_token(SourceReader& r, std::size_t n) {
  const char* const store = r.token_store.get();
  r.current_token = std::string_view(store, n);
  const std::uint64_t w = load8(store);
  r.current_head = n >= 8 ? w : w & low_bits(8 * n);
}

// The token at `p` whose first `n` bytes are in the token store already, on to its end: the
// first blank or line end; a byte below 0x21 that is neither (a control byte, a CR not before
// a LF) is part of it. Returns the first byte after it and the blanks that follow.
const char* scan_long_token(SourceReader& r, const char* p, std::size_t n) {
  for (;;) {
    if (r.token_capacity - n < 8) grow_token_store(r, n);
    const std::uint64_t w = load8(p + n);
    store8(r.token_store.get() + n, upper8(w));
    const std::uint64_t low = low_bytes(w);
    if (low == 0) {
      n += 8;
      continue;
    }
    n += static_cast<std::size_t>(std::countr_zero(low) >> 3);
    if (is_blank(p[n]) || at_line_end(p + n)) break;
    ++n;
  }
  set_token(r, n);
  return is_blank(p[n]) ? skip_gap(p + n + 1, r.window_end) : p + n;
}

// Takes the token that starts at `p` into the token store, upper-cased, and returns the first
// byte after it and the blanks that follow. Its first 16 bytes are taken in one step, as the
// plain step takes them; a token that a lone CR or a control byte continues, or that is longer,
// goes on in scan_long_token.
const char* scan_token(SourceReader& r, const char* p) {
  const std::size_t n = scan::token_head16(p, r.token_store.get());
  if (n == 16) return scan_long_token(r, p, 16);
  const char c = p[n];
  if (is_blank(c)) {
    set_token(r, n);
    return skip_gap(p + n + 1, r.window_end);
  }
  if (at_line_end(p + n)) {
    set_token(r, n);
    return p + n;
  }
  return scan_long_token(r, p, n + 1);
}

// next_token past the end of a line, a comment or the bytes at hand: `p` is the first byte
// that is not a blank after the last token.
[[gnu::noinline]] bool next_token_slow(SourceReader& r, const char* p) {
  const char* next_line = nullptr;
  if (p == r.window_end) {
    next_line = p;  // the bytes at hand are used up
  } else if (p[0] == '\n') {
    next_line = p + 1;
  } else if (at_line_end(p)) {
    next_line = p + 2;
  } else if (at_comment(p)) {
    next_line =
        static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(r.window_end - p))) +
        1;
  } else {  // a token the plain step does not take: a long one, one that a control byte or a
            // lone CR may continue, one that begins with ";"
    r.pos = scan_token(r, p);
    return true;
  }
  if (!enter_line(r, next_line)) return false;
  r.pos = scan_token(r, r.pos);
  return true;
}

}  // namespace

LineBuffer::~LineBuffer() {
  std::free(data);
}

void reader_from_stream(SourceReader& r, ReadBlock read, void* context) {
  r.read = read;
  r.read_context = context;
  r.window = r.window_end = r.data_end = r.pos = NOTHING_READ;
  r.at_start = true;
  r.at_eof = false;
  r.line_start = nullptr;
  if (r.token_capacity < 64) grow_token_store(r, 0);  // what scan_token may write at once
}

void reader_from_text(SourceReader& r, std::string_view text) {
  r.text = text;
  r.text_pos = 0;
  reader_from_stream(r, read_text, &r);
}

std::string_view reader_line(const SourceReader& r) {
  const char* start = r.line_start;
  if (start == nullptr) return {};
  // the line kept from before the window, or one in it
  const char* bound = start < r.window ? r.window : r.window_end;
  const std::size_t room = static_cast<std::size_t>(bound - start);
  const char* nl = static_cast<const char*>(std::memchr(start, '\n', room));
  std::string_view line(start, static_cast<std::size_t>(nl - start));
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

namespace reader_step {

[[gnu::noinline]] const char* skip_blank_run(const SourceReader& r, const char* p) {
  const unsigned k = scan::blanks_before16(p);  // most gaps are short
  return k < 16 ? p + k : scan::skip_blanks(p + 16, r.window_end);
}

[[gnu::noinline]] bool take_token_slow(SourceReader& r, const char* p) {
  return next_token_slow(r, p);
}

[[gnu::noinline]] void take_token_or_fail(SourceReader& r, const char* p) {
  if (!next_token_slow(r, p)) report_error(r, msg::UNEXPECTED_END_OF_FILE);
}

}  // namespace reader_step

bool next_token(SourceReader& r) {
  const char* p = nullptr;
  return reader_step::take_plain(r, p) || reader_step::take_token_slow(r, p);
}

std::string format_diagnostic(const SourceReader& r, std::string_view message) {
  return r.pass_no == 1
             ? format_pass_one(reader_line_no(r), message, r.current_token, reader_line(r))
             : format_pass_two(message);
}

void report_error(const SourceReader& r, std::string_view message) {
  throw AsmError{format_diagnostic(r, message)};
}

NumberScan scan_number(std::string_view text, std::int32_t& value) {
  const bool negative = !text.empty() && text.front() == '-';
  if (negative) text.remove_prefix(1);
  if (text.size() <= 9) {  // most numbers
    std::int32_t magnitude = 0;
    if (!digits_value(text, magnitude)) return NumberScan::not_number;
    value = negative ? -magnitude : magnitude;
    return NumberScan::in_range;
  }
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

bool take_number_scanned(const SourceReader& r, std::string_view text, std::int32_t& value) {
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

std::int32_t read_number_slow(SourceReader& r) {
  std::int32_t value = 0;
  take_token(r);
  if (!take_token_number(r, 0, value)) report_error(r, msg::EXPECT_NUMBER);
  return value;
}

}  // namespace vorn
