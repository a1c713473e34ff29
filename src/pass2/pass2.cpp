#include <algorithm>
#include <array>
#include <charconv>
#include <initializer_list>

#include "state/state.h"
#include "isa/isa.h"
#include "pass2/pass2.h"

namespace vorn {

namespace {

// Appends one line of the numbers `values` in the form "%d, %d, ...", a comma after each (a
// section's header, a code line's four words), or with `data`, the one number of a data line,
// "%d, ". The line is formatted first and appended at once.
void append_line(std::string& out, std::initializer_list<std::int64_t> values, bool data = false) {
  char line[4 * 24];
  char* p = line;
  for (std::int64_t v : values) {
    if (p != line) *p++ = ' ';
    p = std::to_chars(p, line + sizeof line, v).ptr;
    *p++ = ',';
  }
  if (data) *p++ = ' ';
  *p++ = '\n';
  out.append(line, p);
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
void emit_code(Assembly& as, std::string& out, Listing* listing) {
  std::array<std::int32_t, 4> words{};
  for (std::int32_t addr = 0; addr < as.code_loc; ++addr) {
    CodeWord w = addr < CODE_SIZE ? as.code[static_cast<std::size_t>(addr)] : CodeWord{};
    if (!written_form(w.op, w.a, w.b, w.c, words)) {
      if (as.map != nullptr) as.map->error_line = line_of_address(as, addr);
      report_error(as.reader, msg::UNDEFINE_OP);
    }
    append_line(out, {words[0], words[1], words[2], words[3]});
    if (listing != nullptr) listing->code.push_back({addr, words, line_of_address(as, addr)});
  }
}

// Writes one line per data item from `item_pos` to the next section marker, where it leaves
// `item_pos`; the first is at `address`. A name without a value ends the run with
// "undefined symbol".
void emit_data(Assembly& as, std::string& out, Listing* listing, int& item_pos,
               std::int64_t address) {
  auto at = static_cast<std::size_t>(item_pos);
  for (; !is_section_marker(as.items[at].kind); ++at) {
    const Item& item = as.items[at];
    const std::int32_t v = item.kind == KIND_NAME ? sym_value(as.symtab, item.value) : item.value;
    if (v == UNDEFINED_VALUE) {
      if (as.map != nullptr) as.map->error_line = as.map->item_line[at];
      report_error(as.reader, msg::UNDEFINED_SYMBOL);
    }
    if (listing != nullptr) listing->data.push_back({address++, v, as.map->item_line[at]});
    append_line(out, {v}, true);
  }
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
  while (as.items[static_cast<std::size_t>(item_pos)].kind != KIND_END) {
    const Item& item = as.items[static_cast<std::size_t>(item_pos)];
    if (item.kind == KIND_CODE) {
      append_line(out, {item.value, as.code_loc});
      ++item_pos;
      emit_code(as, out, listing);
    } else {
      append_line(out, {item.value, n - item_pos - 2});
      ++item_pos;
      emit_data(as, out, listing, item_pos, item.value);
    }
  }
  write_line(out, "0];");
  return out;
}

}  // namespace vorn
