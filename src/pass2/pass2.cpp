#include "pass2/pass2.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <initializer_list>
#include <memory>

#include "isa/isa.h"
#include "state/state.h"

namespace vorn {

namespace {

// The longest number, "-2147483648", and the ", " after it.
constexpr std::size_t MAX_FIELD = 11 + 2;

// The object text as it is written: a buffer with room for all of it, made at the start, and
// the end of what is written so far.
struct ObjectText {
  std::unique_ptr<char[]> buffer;
  char* end;
};

void put(ObjectText& t, std::string_view text) {
  t.end = std::copy(text.begin(), text.end(), t.end);
}

// Writes one line of `numbers`, each followed by ", ", with the last space left out but on a
// data line: "%d, %d," for a section's header and "%d, %d, %d, %d," for a code word, "%d, "
// for a data word.
void put_line(ObjectText& t, std::initializer_list<std::int32_t> numbers, bool data = false) {
  for (std::int32_t n : numbers) {
    t.end = std::to_chars(t.end, t.end + MAX_FIELD, n).ptr;
    put(t, ", ");
  }
  if (!data) --t.end;
  *t.end++ = '\n';
}

// Writes the object path for the header line, a line comment: each character that would end
// the comment early (LF, CR, U+2028, U+2029) is written as "?".
void put_header_path(ObjectText& t, std::string_view path) {
  for (std::size_t k = 0; k < path.size(); ++k) {
    const std::string_view rest = path.substr(k);
    if (rest.starts_with("\xe2\x80\xa8") || rest.starts_with("\xe2\x80\xa9")) {
      *t.end++ = '?';
      k += 2;
    } else {
      *t.end++ = path[k] == '\n' || path[k] == '\r' ? '?' : path[k];
    }
  }
  *t.end++ = '\n';
}

// True for the kinds that mark a section: KIND_CODE, KIND_DATA and KIND_END.
bool is_section_marker(Kind kind) {
  return kind == KIND_CODE || kind == KIND_DATA || kind == KIND_END;
}

// Stores the value of each fixup's symbol into field c of its word; a symbol still without a
// value ends the run with its name and "undefine symbol".
void apply_fixups(Assembly& as) {
  for (int k = 0; k < as.fixup_count; ++k) {
    const Fixup& f = as.fixups[static_cast<std::size_t>(k)];
    const std::int32_t v = sym_value(as.symtab, f.symbol);
    if (v == UNDEFINED_VALUE) {
      if (as.map != nullptr) as.map->error = as.map->fixup_place[static_cast<std::size_t>(k)];
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

// Writes one line per code address from 0 to the code end - 1, the code section's marker
// being item `code_item`; a word without an output rule ends the run with "undefine op".
void emit_code(Assembly& as, ObjectText& t, Listing* listing, std::size_t code_item) {
  std::array<std::int32_t, 4> words{};
  for (std::int32_t addr = 0; addr < as.code_loc; ++addr) {
    const CodeWord w = addr < CODE_SIZE ? as.code[static_cast<std::size_t>(addr)] : CodeWord{};
    if (!written_form(w.op, w.a, w.b, w.c, words)) {
      // Only a word that no instruction wrote has no output rule: one below the code origin.
      if (as.map != nullptr) as.map->error = as.map->item_place[code_item];
      report_error(as.reader, msg::UNDEFINE_OP);
    }
    put_line(t, {words[0], words[1], words[2], words[3]});
    if (listing != nullptr) listing->code.push_back({addr, words, line_of_address(as, addr)});
  }
}

// Writes one line per data item from `item_pos` to the next section marker, where it leaves
// `item_pos`; the first is at `address`. A name without a value ends the run with
// "undefined symbol".
void emit_data(Assembly& as, ObjectText& t, Listing* listing, int& item_pos, std::int64_t address) {
  auto at = static_cast<std::size_t>(item_pos);
  for (; !is_section_marker(as.items[at].kind); ++at) {
    const Item& item = as.items[at];
    const std::int32_t v = item.kind == KIND_NAME ? sym_value(as.symtab, item.value) : item.value;
    if (v == UNDEFINED_VALUE) {
      if (as.map != nullptr) as.map->error = as.map->item_place[at];
      report_error(as.reader, msg::UNDEFINED_SYMBOL);
    }
    if (listing != nullptr) listing->data.push_back({address++, v, as.map->item_place[at].line});
    put_line(t, {v}, true);
  }
  item_pos = static_cast<int>(at);
}

}  // namespace

std::string run_pass2(Assembly& as, std::string_view object_path, Listing* listing) {
  as.reader.pass_no = 2;
  const int n = as.item_count;
  int item_pos = 0;
  apply_fixups(as);
  // Room for the longest text: a line for each item, and at most CODE_SIZE code lines can be
  // written, whatever the code end.
  const auto code_lines = static_cast<std::size_t>(std::clamp(as.code_loc, 0, CODE_SIZE));
  const std::size_t room =
      64 + object_path.size() + 4 * MAX_FIELD * (code_lines + static_cast<std::size_t>(n));
  ObjectText t{std::unique_ptr<char[]>(new char[room]), nullptr};
  t.end = t.buffer.get();
  put(t, "var obj =[  // ");
  put_header_path(t, object_path);
  while (as.items[static_cast<std::size_t>(item_pos)].kind != KIND_END) {
    const Item& item = as.items[static_cast<std::size_t>(item_pos)];
    if (item.kind == KIND_CODE) {
      put_line(t, {item.value, as.code_loc});
      ++item_pos;
      emit_code(as, t, listing, static_cast<std::size_t>(item_pos - 1));
    } else {
      put_line(t, {item.value, n - item_pos - 2});
      ++item_pos;
      emit_data(as, t, listing, item_pos, item.value);
    }
  }
  put(t, "0];\n");
  return std::string(t.buffer.get(), t.end);
}

}  // namespace vorn
