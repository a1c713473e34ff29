#include "source_reader/source_reader.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

namespace vorn {

namespace {

bool is_delimiter(char c) {
  return c == ' ' || c == '\t' || c == '\n';
}

char to_upper(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// Reads the next block of a streamed source into `window`. Returns false at its end.
bool refill(SourceReader& r) {
  if (r.read == nullptr) return false;
  if (!r.block) r.block.reset(new char[r.block_size]);  // left unset: the read fills it
  std::ptrdiff_t n = r.read(r.read_context, r.block.get(), r.block_size);
  if (n < 0) throw AsmError{"error: cannot read input file\n"};
  if (n == 0) return false;
  r.window = std::string_view(r.block.get(), static_cast<std::size_t>(n));
  r.pos = 0;
  return true;
}

// Reads the next whole line into `line`. Returns false at the end of the input.
bool read_line(SourceReader& r) {
  if (r.pos >= r.window.size() && !refill(r)) return false;
  const char* start = r.window.data() + r.pos;
  std::size_t avail = r.window.size() - r.pos;
  const void* nl = std::memchr(start, '\n', avail);
  if (nl != nullptr) {
    std::size_t len = static_cast<std::size_t>(static_cast<const char*>(nl) - start);
    r.line = std::string_view(start, len);
    r.pos += len + 1;
  } else {
    // The line runs past the bytes at hand: join it whole from the following reads.
    r.joined.size = 0;
    line_buffer_append(r.joined, start, avail);
    r.pos = r.window.size();
    while (refill(r)) {
      const char* w = r.window.data();
      const void* end = std::memchr(w, '\n', r.window.size());
      if (end != nullptr) {
        std::size_t len = static_cast<std::size_t>(static_cast<const char*>(end) - w);
        line_buffer_append(r.joined, w, len);
        r.pos = len + 1;
        break;
      }
      line_buffer_append(r.joined, w, r.window.size());
      r.pos = r.window.size();
    }
    r.line = std::string_view(r.joined.data, r.joined.size);
  }
  // A CR before the newline, or at the very end of the input, is not part of the line.
  if (!r.line.empty() && r.line.back() == '\r') r.line.remove_suffix(1);
  return true;
}

bool is_blank(char c) {
  return c == ' ' || c == '\t';
}

// Passes over whole lines that hold no token (only spaces, tabs and a comment) within the bytes
// at hand, counting them, without the per-line work of read_line. Stops at the start of the
// first line that may hold a token or that runs past the bytes at hand; read_line takes it.
void skip_empty_lines(SourceReader& r) {
  const char* const base = r.window.data();
  const char* const end = base + r.window.size();
  const char* p = base + r.pos;
  const char* last = nullptr;  // the last line passed over, and its newline
  const char* last_nl = nullptr;
  for (;;) {
    const char* start = p;
    while (p < end && is_blank(*p)) ++p;
    const char* nl = nullptr;
    if (p < end && *p == '\n') {
      nl = p;
    } else if (end - p >= 2 && p[0] == '\r' && p[1] == '\n') {
      nl = p + 1;
    } else if (end - p >= 2 && p[0] == ';' &&
               (is_blank(p[1]) || p[1] == '\n' || (end - p >= 3 && p[1] == '\r' && p[2] == '\n'))) {
      nl = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
    }
    if (nl == nullptr) {
      p = start;
      break;
    }
    ++r.line_no;
    last = start;
    last_nl = nl;
    p = nl + 1;
  }
  r.pos = static_cast<std::size_t>(p - base);
  if (last != nullptr) {
    r.line = std::string_view(last, static_cast<std::size_t>(last_nl - last));
    if (!r.line.empty() && r.line.back() == '\r') r.line.remove_suffix(1);
  }
}

}  // namespace

LineBuffer::~LineBuffer() {
  std::free(data);
}

void line_buffer_append(LineBuffer& b, const char* p, std::size_t n) {
  if (n > b.capacity - b.size) {
    if (n > SIZE_MAX / 2 - b.size) throw std::bad_alloc();
    std::size_t want = b.size + n;
    std::size_t capacity = b.capacity < 4096 ? 4096 : b.capacity;
    while (capacity < want) capacity *= 2;
    void* grown = std::realloc(b.data, capacity);
    if (grown == nullptr) throw std::bad_alloc();
    b.data = static_cast<char*>(grown);
    b.capacity = capacity;
  }
  if (n > 0) std::memcpy(b.data + b.size, p, n);
  b.size += n;
}

void reader_from_text(SourceReader& r, std::string_view text) {
  r.read = nullptr;
  r.window = text;
  r.pos = 0;
}

void reader_from_stream(SourceReader& r, ReadBlock read, void* context) {
  r.read = read;
  r.read_context = context;
  r.window = {};
  r.pos = 0;
}

bool next_token(SourceReader& r) {
  for (;;) {
    if (r.line_open) {
      const std::string_view line = r.line;
      std::size_t p = r.tok_pos;
      while (p < line.size() && is_delimiter(line[p])) ++p;
      if (p < line.size()) {
        std::size_t start = p;
        while (p < line.size() && !is_delimiter(line[p])) ++p;
        r.tok_pos = p;
        std::string_view tok = line.substr(start, p - start);
        if (tok == ";") {  // a comment runs to the end of its line
          r.line_open = false;
          continue;
        }
        r.current_token.assign(tok);
        for (char& c : r.current_token) c = to_upper(c);
        return true;
      }
      r.line_open = false;
    }
    skip_empty_lines(r);
    if (!read_line(r)) return false;
    ++r.line_no;
    r.tok_pos = 0;
    r.line_open = true;
  }
}

void take_token(SourceReader& r) {
  if (!next_token(r)) report_error(r, "unexpected end of file");
}

std::string format_diagnostic(const SourceReader& r, std::string_view message) {
  std::string text;
  if (r.pass_no == 1) {
    text.append("line ").append(std::to_string(r.line_no)).append(" error: ");
    text.append(message).append(" symbol ").append(r.current_token).append("\n");
    if (r.line_no > 0) text.append(r.line).append("\n");
  } else {
    text.append("error: ").append(message).append("\n");
  }
  return text;
}

void report_error(const SourceReader& r, std::string_view message) {
  throw AsmError{format_diagnostic(r, message)};
}

bool is_number(std::string_view text) {
  if (!text.empty() && text.front() == '-') text.remove_prefix(1);
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

std::int32_t number_value(const SourceReader& r, std::string_view text) {
  bool negative = !text.empty() && text.front() == '-';
  if (negative) text.remove_prefix(1);
  // The magnitude is kept at most 2^31, so it never overflows however many digits come.
  constexpr std::int64_t limit = std::int64_t{1} << 31;
  std::int64_t magnitude = 0;
  for (char c : text) {
    magnitude = magnitude * 10 + (c - '0');
    if (magnitude > limit) report_error(r, "number out of range");
  }
  if (!negative && magnitude == limit) report_error(r, "number out of range");
  return static_cast<std::int32_t>(negative ? -magnitude : magnitude);
}

std::int32_t read_number(SourceReader& r) {
  take_token(r);
  if (!is_number(r.current_token)) report_error(r, "expect number");
  return number_value(r, r.current_token);
}

}  // namespace vorn
