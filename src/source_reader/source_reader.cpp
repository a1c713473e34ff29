#include "source_reader/source_reader.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include "source_reader/line_skip.h"

namespace vorn {

namespace {

// Where the reader stands when no bytes are at hand, before the first read and after the
// last: an empty window, whose one byte may be looked at.
constexpr char NOTHING_AT_HAND = '\n';

// The longest read that joins a cut line: a line longer than this is not moved to the front of
// the buffer but read on where it stands.
constexpr std::size_t JOIN_READ_SIZE = 1024 * 1024;

bool is_blank(char c) {
  return c == ' ' || c == '\t';
}

// How a line ends, the one rule of the input: a line runs to its LF; a CR right before the LF
// belongs to the line end, not to the line, so that CR LF sources read as LF ones on every
// platform. A lone CR is an ordinary byte.
bool at_line_end(const char* p) {
  return p[0] == '\n' || (p[0] == '\r' && p[1] == '\n');
}

// True when the token at `p` is exactly ";", which starts a comment to the end of its line.
bool at_comment(const char* p) {
  return p[0] == ';' && (is_blank(p[1]) || at_line_end(p + 1));
}

// Makes room for at least `capacity` bytes, keeping those there; std::bad_alloc when memory
// runs out.
void reserve(SourceReader& r, std::size_t capacity) {
  if (capacity <= r.capacity) return;
  if (capacity > SIZE_MAX / 4) throw std::bad_alloc();
  std::size_t grown_capacity = std::max<std::size_t>(r.capacity, 65536);
  while (grown_capacity < capacity) grown_capacity *= 2;
  char* grown = static_cast<char*>(std::realloc(r.buffer.get(), grown_capacity));
  if (grown == nullptr) throw std::bad_alloc();
  static_cast<void>(r.buffer.release());  // realloc has freed or kept it
  r.buffer.reset(grown);
  r.capacity = grown_capacity;
}

// Reads up to `size` bytes of the source into `buf`. Returns the count, 0 at its end.
std::size_t read_more(SourceReader& r, char* buf, std::size_t size) {
  const std::ptrdiff_t n = r.read(r.read_context, buf, size);
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

// The last LF of the `n` bytes at `p`, or null. A read without one (a long line) is told by
// one search; in the others the last LF is near the end.
const char* last_newline(const char* p, std::size_t n) {
  if (std::memchr(p, '\n', n) == nullptr) return nullptr;
  const char* q = p + n;
  while (*--q != '\n') {
  }
  return q;
}

// What the first bytes of the source say of its encoding, looked at before the first line.
// The UTF-8 byte-order mark that Windows tools write (Notepad, PowerShell) is no part of the
// text and is passed over; a UTF-16 text ends the run with a message that names its encoding.
// Without a mark, UTF-16 shows as one NUL among the first two bytes (the high byte of its
// first character): no program can begin so, as its first token is ".SYMBOL" or ";".
void take_byte_order_mark(SourceReader& r) {
  const std::string_view head(r.pos, std::min<std::size_t>(3, r.data_end - r.pos));
  const bool one_nul = head.size() >= 2 && (head[0] == '\0') != (head[1] == '\0');
  if (head == "\xEF\xBB\xBF") {
    r.pos += 3;
    r.mark_length = 3;
  } else if (head.substr(0, 2) == "\xFF\xFE" || head.substr(0, 2) == "\xFE\xFF" || one_nul) {
    throw AsmError{line_of(msg::INPUT_IS_UTF16)};
  }
}

// Reads the next whole lines after the start of a line that the last read cut, and makes them
// the window. The line last entered, which a diagnostic may still show, is kept before them:
// it and the cut line are moved to the buffer's front, unless they are long (a long line stays
// where it is and the reads go on after it). A line longer than the bytes at hand is read on,
// in reads that grow with it, until its LF comes. Returns false at the end of the input.
bool refill(SourceReader& r) {
  if (r.at_eof) return false;
  std::size_t size = 0;      // bytes kept at the buffer's front
  std::size_t line_at = 0;   // where the line last entered starts, from the front
  std::size_t bound_at = 0;  // where the window read last ends, from the front
  if (!r.at_start) {
    char* const data = r.buffer.get();
    const char* keep = r.line_start != nullptr ? r.line_start : r.window_end;
    std::size_t drop = static_cast<std::size_t>(keep - data);
    if (static_cast<std::size_t>(r.data_end - keep) > JOIN_READ_SIZE) drop = 0;
    size = static_cast<std::size_t>(r.data_end - data) - drop;
    if (drop > 0) std::memmove(data, data + drop, size);
    line_at = static_cast<std::size_t>(keep - data) - drop;
    bound_at = static_cast<std::size_t>(r.window_end - data) - drop;
  }
  std::size_t nl = SIZE_MAX;  // the window's last LF, from the front
  for (;;) {
    const std::size_t cut = size - bound_at;  // the start of a line that a read cut
    const std::size_t want = std::max(r.block_size, std::min(cut, JOIN_READ_SIZE));
    reserve(r, size + want + 1);
    char* const data = r.buffer.get();
    const std::size_t n = read_more(r, data + size, want);
    if (n == 0) {
      r.at_eof = true;
      if (cut == 0) break;  // nothing more at hand
      nl = size;
      data[size++] = '\n';  // the last line's own LF
      break;
    }
    const char* const last = last_newline(data + size, n);
    size += n;
    if (last != nullptr) {
      nl = static_cast<std::size_t>(last - data);
      break;
    }
  }
  char* const data = r.buffer.get();
  if (r.line_start != nullptr) r.line_start = data + line_at;
  r.data_end = data + size;
  if (nl == SIZE_MAX) {
    r.pos = r.window_end = &NOTHING_AT_HAND;
    return false;
  }
  r.pos = data + bound_at;
  r.window_end = data + nl + 1;
  if (r.at_start) {
    r.at_start = false;
    take_byte_order_mark(r);
  }
  return true;
}

// Enters the line that starts at `p`, or at the window's end, where it reads on: the line
// that diagnostics show from now on. False at the end of the input.
bool enter_line(SourceReader& r, const char* p) {
  if (p == r.window_end) {
    if (!refill(r)) return false;
    p = r.pos;
  }
  ++r.line_no;
  r.line_start = r.pos = p;
  return true;
}

// Passes over the lines from the line start `p` on that hold no token (blank, or a comment),
// whole blocks at a time: large sources are mostly such lines. Returns the start of the first
// line it did not pass, and leaves the last line passed as the one diagnostics show.
const char* pass_empty_lines(SourceReader& r, const char* p) {
  const line_skip::Skip s = line_skip::skip_blocks(p, r.window_end);
  if (s.lines == 0) return p;
  r.line_no += s.lines;
  const char* start = s.last_nl;
  while (start > p && start[-1] != '\n') --start;
  r.line_start = start;
  return s.p;
}

// The bytes that may end a token: the blanks, LF, and CR, which ends one only before a LF.
struct TokenEnds {
  bool at[256] = {};
  constexpr TokenEnds() {
    for (unsigned char c : {' ', '\t', '\n', '\r'}) at[c] = true;
  }
};
constexpr TokenEnds TOKEN_ENDS;

bool may_end_token(char c) {
  return TOKEN_ENDS.at[static_cast<unsigned char>(c)];
}

// Each byte upper-cased: "a" to "z" become "A" to "Z", every other byte stays as it is.
struct UpperCase {
  char of[256] = {};
  constexpr UpperCase() {
    for (int c = 0; c < 256; ++c) of[c] = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
  }
};
constexpr UpperCase UPPER_CASE;

// Copies the token at `p` upper-cased into the token store and makes it the current token.
// Returns the byte after it.
const char* take_token_at(SourceReader& r, const char* p) {
  const char* end = p;
  for (;;) {
    while (!may_end_token(*end)) ++end;
    if (*end != '\r' || end[1] == '\n') break;
    ++end;  // a lone CR is part of the token
  }
  const auto n = static_cast<std::size_t>(end - p);
  if (n > r.token_store.size()) r.token_store.resize(2 * n + 64);
  char* const out = r.token_store.data();
  for (std::size_t k = 0; k < n; ++k) out[k] = UPPER_CASE.of[static_cast<unsigned char>(p[k])];
  r.current_token = std::string_view(out, n);
  return end;
}

// True when `p`, the first byte after blanks, starts no token: it is a line end, a comment,
// or there are no bytes at hand.
bool at_no_token(const SourceReader& r, const char* p) {
  return p == r.window_end || at_line_end(p) || at_comment(p);
}

// The start of the line after the one that `p`, its line end or a comment, stands in.
const char* line_after(const SourceReader& r, const char* p) {
  if (*p == '\n') return p + 1;
  const auto rest = static_cast<std::size_t>(r.window_end - p);
  return static_cast<const char*>(std::memchr(p, '\n', rest)) + 1;
}

// Moves from `p`, where the current line holds no further token, to the first token of the
// next line that holds one, and leaves `pos` there. False at the end of the input.
bool to_next_line_with_token(SourceReader& r, const char* p) {
  // The first turn passes what is left of the current line; each further one, a line without
  // a token, after which more such lines are likely: they are passed over in blocks.
  for (bool in_empty_lines = false;; in_empty_lines = true) {
    if (p != r.window_end) p = line_after(r, p);  // else nothing is at hand: a line is read
    if (in_empty_lines) p = pass_empty_lines(r, p);
    if (!enter_line(r, p)) return false;
    p = r.pos;
    while (is_blank(*p)) ++p;
    if (!at_no_token(r, p)) break;
  }
  r.pos = p;
  return true;
}

}  // namespace

void FreeBuffer::operator()(char* p) const {
  std::free(p);
}

void reader_from_stream(SourceReader& r, ReadBlock read, void* context) {
  r.read = read;
  r.read_context = context;
  r.pos = r.window_end = r.data_end = &NOTHING_AT_HAND;
  r.at_start = true;
  r.at_eof = false;
  r.line_start = nullptr;
  r.token_start = nullptr;
  r.mark_length = 0;
}

void reader_from_text(SourceReader& r, std::string_view text) {
  r.text = text;
  r.text_pos = 0;
  reader_from_stream(r, read_text, &r);
}

// token = a run of bytes up to a blank or a line end; a token ";" runs to the line end.
bool next_token(SourceReader& r) {
  const char* p = r.pos;
  while (is_blank(*p)) ++p;
  if (at_no_token(r, p)) {
    if (!to_next_line_with_token(r, p)) {
      r.token_start = nullptr;  // the window may have moved: the last token stands nowhere now
      return false;
    }
    p = r.pos;
  }
  r.token_start = p;
  r.pos = take_token_at(r, p);
  return true;
}

void take_token(SourceReader& r) {
  if (!next_token(r)) report_error(r, msg::UNEXPECTED_END_OF_FILE);
}

std::string_view reader_line(const SourceReader& r) {
  if (r.line_start == nullptr) return {};
  const auto room = static_cast<std::size_t>(r.data_end - r.line_start);
  const char* nl = static_cast<const char*>(std::memchr(r.line_start, '\n', room));
  std::string_view line(r.line_start, static_cast<std::size_t>(nl - r.line_start));
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

std::int64_t token_column(const SourceReader& r) {
  if (r.token_start == nullptr) return -1;
  return (r.token_start - r.line_start) +
         static_cast<std::int64_t>(r.line_no == 1 ? r.mark_length : 0);
}

NumberScan scan_number(std::string_view text, std::int32_t& value) {
  constexpr std::int64_t LIMIT = std::int64_t{1} << 31;
  const bool negative = !text.empty() && text.front() == '-';
  if (negative) text.remove_prefix(1);
  std::int64_t magnitude = 0;  // stops growing past LIMIT, however many digits follow
  for (char c : text) {
    if (c < '0' || c > '9') return NumberScan::not_number;
    magnitude = std::min(magnitude * 10 + (c - '0'), LIMIT + 1);
  }
  if (magnitude > (negative ? LIMIT : LIMIT - 1)) return NumberScan::out_of_range;
  value = static_cast<std::int32_t>(negative ? -magnitude : magnitude);
  return NumberScan::in_range;
}

bool take_number(const SourceReader& r, std::string_view text, std::int32_t& value) {
  const NumberScan scan = scan_number(text, value);
  if (scan == NumberScan::out_of_range) report_error(r, msg::NUMBER_OUT_OF_RANGE);
  return scan == NumberScan::in_range;
}

std::int32_t read_number(SourceReader& r) {
  take_token(r);
  std::int32_t value = 0;
  if (!take_number(r, r.current_token, value)) report_error(r, msg::EXPECT_NUMBER);
  return value;
}

std::string format_diagnostic(const SourceReader& r, std::string_view message) {
  return r.pass_no == 1 ? format_pass_one(r.line_no, message, r.current_token, reader_line(r))
                        : format_pass_two(message);
}

void report_error(const SourceReader& r, std::string_view message) {
  throw AsmError{format_diagnostic(r, message)};
}

}  // namespace vorn
