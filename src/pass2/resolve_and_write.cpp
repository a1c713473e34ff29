#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <initializer_list>

#include "assembly/assembly.h"
#include "isa/isa.h"
#include "pass2/pass2.h"

namespace vorn {

namespace {

// Two digits of each number below 100, for writing numbers two digits at a time.
struct DigitPairs {
  char at[200];
  constexpr DigitPairs() : at() {
    for (int k = 0; k < 100; ++k) {
      at[2 * k] = static_cast<char>('0' + k / 10);
      at[2 * k + 1] = static_cast<char>('0' + k % 10);
    }
  }
};
constexpr DigitPairs DIGIT_PAIRS;

char* put_pair(char* p, unsigned k) {
  std::memcpy(p, DIGIT_PAIRS.at + 2 * k, 2);  // one 2-byte copy
  return p + 2;
}

// Writes `v` in decimal at `p` (room for 20 bytes) and returns the end. Most numbers of an
// object (operations, registers, addresses) have at most four digits and are written here.
[[gnu::always_inline]] inline char* put_number(char* p, std::int64_t v) {
  if (v < 0 || v >= 10000) return std::to_chars(p, p + 20, v).ptr;
  const auto u = static_cast<unsigned>(v);
  if (u < 10) {
    *p = static_cast<char>('0' + u);
    return p + 1;
  }
  if (u < 100) return put_pair(p, u);
  if (u < 1000) {
    *p = static_cast<char>('0' + u / 100);
    return put_pair(p + 1, u % 100);
  }
  return put_pair(put_pair(p, u / 100), u % 100);
}

// Each number below 100 followed by ", ", as four bytes (the fourth of a one-digit number is
// the next one's to overwrite), for the fields of a code line, most of which are small.
struct SmallFields {
  char at[400];
  constexpr SmallFields() : at() {
    for (int k = 0; k < 100; ++k) {
      char* f = at + 4 * k;
      if (k < 10) {
        f[0] = static_cast<char>('0' + k);
        f[1] = ',';
        f[2] = ' ';
      } else {
        f[0] = static_cast<char>('0' + k / 10);
        f[1] = static_cast<char>('0' + k % 10);
        f[2] = ',';
        f[3] = ' ';
      }
    }
  }
};
constexpr SmallFields SMALL_FIELDS;

// Writes `v` and ", " at `p` (room for 24 bytes) and returns the end.
[[gnu::always_inline]] inline char* put_field(char* p, std::int32_t v) {
  const auto u = static_cast<std::uint32_t>(v);
  if (u < 100) {
    std::memcpy(p, SMALL_FIELDS.at + 4 * u, 4);  // one 4-byte copy
    return p + (u < 10 ? 3 : 4);
  }
  p = put_number(p, v);
  p[0] = ',';
  p[1] = ' ';
  return p + 2;
}

// The lines of numbers, formatted into a batch and appended to the object a batch at a time:
// an append for each short line would cost more than formatting it.
struct LineBatch {
  explicit LineBatch(std::string& object) : out(object) {}

  std::string& out;
  char buf[2048];  // written before it is read
  std::size_t used = 0;

  // Room for `size` more bytes at the batch's end.
  char* room(std::size_t size) {
    if (used + size > sizeof buf) flush();
    return buf + used;
  }
  void wrote_to(const char* end) { used = static_cast<std::size_t>(end - buf); }
  void flush() {
    out.append(buf, used);
    used = 0;
  }
};

// Writes `values` in the form "%d, %d, ..." with a comma after each, as one line.
void write_numbers(LineBatch& batch, std::initializer_list<std::int64_t> values) {
  char* const line = batch.room(4 * 22 + 1);
  char* p = line;
  for (std::int64_t v : values) {
    if (p != line) *p++ = ' ';
    p = put_number(p, v);
    *p++ = ',';
  }
  *p++ = '\n';
  batch.wrote_to(p);
}

// Writes the four numbers of a code line, "%d, %d, %d, %d,", at `p` (room for 96 bytes) and
// returns the end.
char* put_code_line(char* p, const std::array<std::int32_t, 4>& words) {
  p = put_field(p, words[0]);
  p = put_field(p, words[1]);
  p = put_field(p, words[2]);
  p = put_field(p, words[3]);
  p[-1] = '\n';
  return p;
}

// Appends the object path for the header line, a line comment: each character that would end
// the comment early (LF, CR, U+2028, U+2029) is written as "?".
void append_header_path(std::string& out, std::string_view path) {
  std::size_t copied = 0;  // the bytes before this are in `out`
  for (std::size_t k = 0; k < path.size(); ++k) {
    std::size_t n = 0;  // the bytes of a character that would end the comment at k
    if (path[k] == '\n' || path[k] == '\r') {
      n = 1;
    } else if (path[k] == '\xe2' &&
               (path.substr(k, 3) == "\xe2\x80\xa8" || path.substr(k, 3) == "\xe2\x80\xa9")) {
      n = 3;
    }
    if (n == 0) continue;
    out.append(path, copied, k - copied);
    out.push_back('?');
    k += n - 1;
    copied = k + 1;
  }
  out.append(path, copied);
  out.push_back('\n');
}

// True for the kinds that mark a section: KIND_CODE, KIND_DATA and KIND_END.
bool is_section_marker(Kind kind) {
  return kind == KIND_CODE || kind == KIND_DATA || kind == KIND_END;
}

// Appends `text` and a newline to `out`.
void write_line(std::string& out, std::string_view text) {
  out.append(text);
  out.push_back('\n');
}

// Stores the value of each fixup's symbol into field c of its word; a symbol still without a
// value ends the run with its name and "undefine symbol".
void apply_fixups(Assembly& as) {
  for (int k = 0; k < as.fixup_count; ++k) {
    const Fixup& f = as.fixups[static_cast<std::size_t>(k)];
    std::int32_t v = sym_value(as.symtab, f.symbol);
    if (v == UNDEFINED_VALUE) {
      if (as.map != nullptr) as.map->error_line = as.map->fixup_line[static_cast<std::size_t>(k)];
      std::string text(sym_name(as.symtab, f.symbol));
      text.push_back(' ');
      throw AsmError{text + format_diagnostic(as.reader, msg::UNDEFINE_SYMBOL)};
    }
    as.code[static_cast<std::size_t>(f.address)].c = v;
  }
}

// The line of the instruction at code address `addr` (a listing is being made); 0 for none.
std::int64_t line_of_address(const Assembly& as, std::int32_t addr) {
  return addr < CODE_SIZE ? as.map->code_line[static_cast<std::size_t>(addr)] : 0;
}

// Writes one line per code address from 0 to the code end - 1; a word without an output rule
// ends the run with "undefine op".
void emit_code(Assembly& as, LineBatch& out, Listing* listing) {
  std::array<std::int32_t, 4> words{};
  for (std::int32_t addr = 0; addr < as.code_loc; ++addr) {
    // Addresses past the image hold no word, like an untouched slot.
    CodeWord w = addr < CODE_SIZE ? as.code[static_cast<std::size_t>(addr)] : CodeWord{};
    if (!written_form(w.op, w.a, w.b, w.c, words)) {
      if (as.map != nullptr) as.map->error_line = line_of_address(as, addr);
      report_error(as.reader, msg::UNDEFINE_OP);
    }
    out.wrote_to(put_code_line(out.room(4 * 24), words));
    if (listing != nullptr) listing->code.push_back({addr, words, line_of_address(as, addr)});
  }
}

// Ends the run with "undefined symbol" for the data item at `item_pos`, a name without a value.
[[noreturn]] void report_undefined_item(Assembly& as, std::size_t item_pos) {
  if (as.map != nullptr) as.map->error_line = as.map->item_line[item_pos];
  report_error(as.reader, msg::UNDEFINED_SYMBOL);
}

// Writes one line per data item from `item_pos` to the next section marker, where it leaves
// `item_pos`; the first is at `address`. The items and the symbols are read through pointers
// of the loop's own, which the bytes written cannot change.
void emit_data(Assembly& as, LineBatch& batch, Listing* listing, int& item_pos,
               std::int64_t address) {
  constexpr std::size_t LINE_ROOM = 24;
  const Item* const items = as.items.data();
  const SymbolEntry* const symbols = as.symtab.entries.data();
  auto at = static_cast<std::size_t>(item_pos);
  char* p = batch.room(LINE_ROOM);
  const char* const last = batch.buf + sizeof batch.buf - LINE_ROOM;  // room for one more line
  for (; !is_section_marker(items[at].kind); ++at) {
    const Item& item = items[at];
    const std::int32_t v =
        item.kind == KIND_NAME ? symbols[static_cast<std::size_t>(item.value)].value : item.value;
    if (v == UNDEFINED_VALUE) report_undefined_item(as, at);
    if (listing != nullptr) listing->data.push_back({address++, v, as.map->item_line[at]});
    if (p > last) {  // the batch is full
      batch.wrote_to(p);
      batch.flush();
      p = batch.buf;
    }
    p = put_number(p, v);
    p[0] = ',';
    p[1] = ' ';
    p[2] = '\n';
    p += 3;
  }
  batch.wrote_to(p);
  item_pos = static_cast<int>(at);
}

}  // namespace

std::string run_pass2(Assembly& as, std::string_view object_path, Listing* listing) {
  as.reader.pass_no = 2;
  const int n = as.item_count;
  int item_pos = 0;
  apply_fixups(as);
  std::string out;
  // Room for the whole text: at most CODE_SIZE code lines can be written, whatever the code end.
  const std::size_t code_lines = static_cast<std::size_t>(std::clamp(as.code_loc, 0, CODE_SIZE));
  out.reserve(64 + object_path.size() + 48 * code_lines + 16 * static_cast<std::size_t>(n));
  out.append("var obj =[  // ");
  append_header_path(out, object_path);
  LineBatch batch(out);
  while (as.items[static_cast<std::size_t>(item_pos)].kind != KIND_END) {
    const Item& item = as.items[static_cast<std::size_t>(item_pos)];
    if (item.kind == KIND_CODE) {
      write_numbers(batch, {item.value, as.code_loc});
      ++item_pos;
      emit_code(as, batch, listing);
    } else {
      // KIND_DATA: pass one leaves no other kind at a section head.
      write_numbers(batch, {item.value, n - item_pos - 2});
      ++item_pos;
      emit_data(as, batch, listing, item_pos, item.value);
    }
  }
  batch.flush();
  write_line(out, "0];");
  return out;
}

}  // namespace vorn
