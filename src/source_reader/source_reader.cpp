#include "source_reader/source_reader.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "symtab/name_hash.h"

namespace vorn {

// The window: the bytes at hand are whole lines, each with a LF, in one buffer that grows with
// realloc, so that a long line costs about its own length. Before them stands the line last
// entered, which a diagnostic may still show.
struct ReaderState {
  ReadBlock read = nullptr;
  void* read_context = nullptr;
  std::string_view text;  // an in-memory source, read through the same path as a file
  std::size_t text_pos = 0;
  std::size_t block_size = READ_BLOCK_SIZE;
  char* buffer = nullptr;            // malloc'd: the line last entered, the window, a cut line
  std::size_t capacity = 0;          // bytes at `buffer`
  const char* window_end = nullptr;  // one past the window's last LF
  const char* data_end = nullptr;    // one past the bytes read
  const char* pos = nullptr;         // the next byte to look at
  bool at_start = true;              // nothing read yet
  bool at_eof = false;               // the source has no more bytes
  const char* line_start = nullptr;  // the line last entered, which diagnostics show
  std::string token_store;           // the current token's bytes; grows to the longest token
  const char* token_start = nullptr;  // the current token in the window; null past the input
  std::size_t mark_length = 0;        // the byte-order mark, counted in line 1's columns

  ~ReaderState() { std::free(buffer); }
};

void ReaderStateFree::operator()(ReaderState* s) const {
  delete s;
}

namespace {

// Where the reader stands when no bytes are at hand, before the first read and after the
// last: an empty window, whose one byte may be looked at.
constexpr char NOTHING_AT_HAND = '\n';

// The longest read that joins a cut line: a line longer than this is not moved to the front of
// the buffer but read on where it stands.
constexpr std::size_t JOIN_READ_SIZE = 1024 * 1024;

// The input's rules, each in one place. Blanks are space and tab. A line runs to its LF; a CR
// right before the LF belongs to the line end, so that CR LF sources read as LF ones on every
// platform, and a lone CR is an ordinary byte. A token ends at a blank or a line end; a token
// that is exactly ";" starts a comment to the end of its line.
bool is_blank(char c) {
  return c == ' ' || c == '\t';
}

bool at_line_end(const char* p) {
  return p[0] == '\n' || (p[0] == '\r' && p[1] == '\n');
}

bool at_token_end(const char* p) {
  return static_cast<unsigned char>(*p) <= ' ' && (is_blank(*p) || at_line_end(p));
}

bool at_comment(const char* p) {
  return p[0] == ';' && at_token_end(p + 1);
}

// "a" to "z" upper-cased; every other byte as it is.
char upper(char c) {
  const auto u = static_cast<unsigned char>(c);
  return static_cast<char>(static_cast<unsigned>(u - 'a') < 26u ? u - ('a' - 'A') : u);
}

// Makes room for at least `capacity` bytes, keeping those there; std::bad_alloc when memory
// runs out.
void reserve(ReaderState& s, std::size_t capacity) {
  if (capacity <= s.capacity) return;
  if (capacity > SIZE_MAX / 4) throw std::bad_alloc();
  std::size_t grown_capacity = std::max<std::size_t>(s.capacity, 65536);
  while (grown_capacity < capacity) grown_capacity *= 2;
  char* grown = static_cast<char*>(std::realloc(s.buffer, grown_capacity));
  if (grown == nullptr) throw std::bad_alloc();
  s.buffer = grown;
  s.capacity = grown_capacity;
}

// Reads up to `size` bytes of the source into `buf`. Returns the count, 0 at its end.
std::size_t read_more(ReaderState& s, char* buf, std::size_t size) {
  const std::ptrdiff_t n = s.read(s.read_context, buf, size);
  if (n < 0) throw AsmError{whole_line(msg::CANNOT_READ_INPUT)};
  return static_cast<std::size_t>(n);
}

// The read function of an in-memory source.
std::ptrdiff_t read_text(void* context, char* buf, std::size_t size) {
  ReaderState& s = *static_cast<ReaderState*>(context);
  const std::size_t n = std::min(size, s.text.size() - s.text_pos);
  if (n > 0) std::memcpy(buf, s.text.data() + s.text_pos, n);
  s.text_pos += n;
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
void take_byte_order_mark(ReaderState& s) {
  const std::string_view head(s.pos, std::min<std::size_t>(3, s.data_end - s.pos));
  const bool one_nul = head.size() >= 2 && (head[0] == '\0') != (head[1] == '\0');
  if (head == "\xEF\xBB\xBF") {
    s.pos += 3;
    s.mark_length = 3;
  } else if (head.substr(0, 2) == "\xFF\xFE" || head.substr(0, 2) == "\xFE\xFF" || one_nul) {
    throw AsmError{whole_line(msg::INPUT_IS_UTF16)};
  }
}

// Reads the next whole lines after the start of a line that the last read cut, and makes them
// the window. The line last entered, which a diagnostic may still show, is kept before them:
// it and the cut line are moved to the buffer's front, unless they are long (a long line stays
// where it is and the reads go on after it). A line longer than the bytes at hand is read on,
// in reads that grow with it, until its LF comes. Returns false at the end of the input.
bool refill(ReaderState& s) {
  if (s.at_eof) return false;
  std::size_t size = 0;      // bytes kept at the buffer's front
  std::size_t line_at = 0;   // where the line last entered starts, from the front
  std::size_t bound_at = 0;  // where the window read last ends, from the front
  if (!s.at_start) {
    const char* keep = s.line_start != nullptr ? s.line_start : s.window_end;
    std::size_t drop = static_cast<std::size_t>(keep - s.buffer);
    if (static_cast<std::size_t>(s.data_end - keep) > JOIN_READ_SIZE) drop = 0;
    size = static_cast<std::size_t>(s.data_end - s.buffer) - drop;
    if (drop > 0) std::memmove(s.buffer, s.buffer + drop, size);
    line_at = static_cast<std::size_t>(keep - s.buffer) - drop;
    bound_at = static_cast<std::size_t>(s.window_end - s.buffer) - drop;
  }
  std::size_t nl = SIZE_MAX;  // the window's last LF, from the front
  for (;;) {
    const std::size_t cut = size - bound_at;  // the start of a line that a read cut
    const std::size_t want = std::max(s.block_size, std::min(cut, JOIN_READ_SIZE));
    reserve(s, size + want + 1);
    const std::size_t n = read_more(s, s.buffer + size, want);
    if (n == 0) {
      s.at_eof = true;
      if (cut == 0) break;  // nothing more at hand
      nl = size;
      s.buffer[size++] = '\n';  // the last line's own LF
      break;
    }
    const char* const last = last_newline(s.buffer + size, n);
    size += n;
    if (last != nullptr) {
      nl = static_cast<std::size_t>(last - s.buffer);
      break;
    }
  }
  if (s.line_start != nullptr) s.line_start = s.buffer + line_at;
  s.data_end = s.buffer + size;
  if (nl == SIZE_MAX) {
    s.pos = s.window_end = &NOTHING_AT_HAND;
    return false;
  }
  s.pos = s.buffer + bound_at;
  s.window_end = s.buffer + nl + 1;
  if (s.at_start) {
    s.at_start = false;
    take_byte_order_mark(s);
  }
  return true;
}

// True when `p`, the first byte after blanks, starts no token: a line end, a comment, or no
// bytes at hand.
bool starts_no_token(const ReaderState& s, const char* p) {
  return p == s.window_end || at_line_end(p) || at_comment(p);
}

// The start of the line after the one that `p`, its line end or a comment, stands in.
const char* line_after(const ReaderState& s, const char* p) {
  if (*p == '\n') return p + 1;
  return static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(s.window_end - p))) + 1;
}

// Moves from `p`, where the current line holds no further token, to the first token of the
// next line that holds one, entering each line on the way. False at the end of the input.
bool to_next_token_line(SourceReader& r, const char* p) {
  ReaderState& s = *r.state;
  for (;;) {
    if (p != s.window_end) p = line_after(s, p);
    if (p == s.window_end) {  // the window is passed: the next lines are read
      if (!refill(s)) return false;
      p = s.pos;
    }
    ++r.line_no;
    s.line_start = p;
    while (is_blank(*p)) ++p;
    if (!starts_no_token(s, p)) break;
  }
  s.pos = p;
  return true;
}

// Copies the token at `p` upper-cased into the token store, making its hash on the way, and
// makes it the current token. Returns the byte after it.
const char* copy_token(SourceReader& r, const char* p) {
  std::string& store = r.state->token_store;
  if (store.empty()) store.resize(64);
  std::size_t room = store.size();
  char* out = store.data();
  std::uint32_t hash = NAME_HASH_SEED;
  std::size_t n = 0;
  do {  // a token has its first byte
    if (n == room) {
      store.resize(2 * room);
      room = store.size();
      out = store.data();
    }
    const char c = upper(p[n]);
    out[n] = c;
    hash = name_hash_step(hash, c);
    ++n;
  } while (!at_token_end(p + n));
  r.current_token = std::string_view(out, n);
  r.token_hash = hash;
  return p + n;
}

// The line last entered, without its line end (empty before the first).
std::string_view line_shown(const SourceReader& r) {
  const ReaderState& s = *r.state;
  if (s.line_start == nullptr) return {};
  const auto room = static_cast<std::size_t>(s.data_end - s.line_start);
  const char* nl = static_cast<const char*>(std::memchr(s.line_start, '\n', room));
  std::string_view line(s.line_start, static_cast<std::size_t>(nl - s.line_start));
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

}  // namespace

void reader_from_stream(SourceReader& r, ReadBlock read, void* context, std::size_t block_size) {
  r.state.reset(new ReaderState);
  ReaderState& s = *r.state;
  s.read = read;
  s.read_context = context;
  s.block_size = block_size;
  s.pos = s.window_end = s.data_end = &NOTHING_AT_HAND;
  r.current_token = {};
  r.line_no = 0;
}

void reader_from_text(SourceReader& r, std::string_view text) {
  reader_from_stream(r, read_text, nullptr);
  r.state->text = text;
  r.state->read_context = r.state.get();
}

// token = a run of bytes up to a blank or a line end; a token ";" runs to the line end.
bool scan_token(SourceReader& r) {
  ReaderState& s = *r.state;
  const char* p = s.pos;
  while (is_blank(*p)) ++p;
  if (starts_no_token(s, p)) {
    if (!to_next_token_line(r, p)) {
      s.token_start = nullptr;  // the window may have moved: the last token stands nowhere now
      return false;
    }
    p = s.pos;
  }
  s.token_start = p;
  s.pos = copy_token(r, p);
  return true;
}

void take_token(SourceReader& r) {
  if (!scan_token(r)) report_error(r, msg::UNEXPECTED_END_OF_FILE);
}

std::int64_t token_column(const SourceReader& r) {
  const ReaderState& s = *r.state;
  if (s.token_start == nullptr) return -1;
  return (s.token_start - s.line_start) + static_cast<std::int64_t>(r.line_no == 1 ? s.mark_length : 0);
}

bool take_number(const SourceReader& r, std::string_view text, std::int32_t& value) {
  constexpr std::int64_t LIMIT = std::int64_t{1} << 31;
  const bool negative = !text.empty() && text.front() == '-';
  if (negative) text.remove_prefix(1);
  std::int64_t magnitude = 0;  // stops growing past LIMIT, however many digits follow
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    magnitude = std::min(magnitude * 10 + (c - '0'), LIMIT + 1);
  }
  if (magnitude > (negative ? LIMIT : LIMIT - 1)) report_error(r, msg::NUMBER_OUT_OF_RANGE);
  value = static_cast<std::int32_t>(negative ? -magnitude : magnitude);
  return true;
}

std::int32_t take_number_token(SourceReader& r) {
  take_token(r);
  std::int32_t value = 0;
  if (!take_number(r, r.current_token, value)) report_error(r, msg::EXPECT_NUMBER);
  return value;
}

void report_error(const SourceReader& r, std::string_view message) {
  throw AsmError{format_pass_one(r.line_no, message, r.current_token, line_shown(r))};
}

}  // namespace vorn
