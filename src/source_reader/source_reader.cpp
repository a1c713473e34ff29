#include "source_reader/source_reader.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace vorn {

namespace {

bool is_delimiter(char c) { return c == ' ' || c == '\t' || c == '\n'; }

char to_upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// Reads the next block of a file source into `window`. Returns false at the end of the file.
bool refill(SourceReader& r) {
  if (r.fd < 0) return false;
  if (r.block.size() != r.block_size) r.block.resize(r.block_size);
  for (;;) {
    ssize_t n = ::read(r.fd, r.block.data(), r.block.size());
    if (n > 0) {
      r.window = std::string_view(r.block.data(), static_cast<std::size_t>(n));
      r.pos = 0;
      return true;
    }
    if (n == 0) return false;
    if (errno != EINTR) throw AsmError{"error: cannot read input file\n"};
  }
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
    r.joined.assign(start, avail);
    r.pos = r.window.size();
    while (refill(r)) {
      const char* w = r.window.data();
      const void* end = std::memchr(w, '\n', r.window.size());
      if (end != nullptr) {
        std::size_t len = static_cast<std::size_t>(static_cast<const char*>(end) - w);
        r.joined.append(w, len);
        r.pos = len + 1;
        break;
      }
      r.joined.append(w, r.window.size());
      r.pos = r.window.size();
    }
    r.line = r.joined;
  }
  // A CR before the newline, or at the very end of the input, is not part of the line.
  if (!r.line.empty() && r.line.back() == '\r') r.line.remove_suffix(1);
  return true;
}

}  // namespace

void reader_from_text(SourceReader& r, std::string_view text) {
  r.fd = -1;
  r.window = text;
  r.pos = 0;
}

void reader_from_fd(SourceReader& r, int fd) {
  r.fd = fd;
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
