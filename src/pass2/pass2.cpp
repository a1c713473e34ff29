#include "pass2/pass2.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <initializer_list>
#include <string>

#include "isa/isa.h"
#include "state/state.h"

namespace vorn {

namespace {

// Ends the run with the pass-two diagnostic for `message`.
[[noreturn]] void fail(std::string_view message) {
  throw AsmError{format_pass_two(message)};
}

// Appends one line of `numbers` to `text`, each followed by ", ", with the last space left out
// but on a data line: "%d, %d," for a section's header and "%d, %d, %d, %d," for a code word,
// "%d, " for a data word. The line is made in a buffer of its own, then appended.
void put_line(std::string& text, std::initializer_list<std::int32_t> numbers, bool data = false) {
  char line[4 * sizeof ", -2147483648" + 1];
  char* end = line;
  std::size_t left = numbers.size();
  for (std::int32_t n : numbers) {
    end = std::to_chars(end, line + sizeof line, n).ptr;
    *end++ = ',';
    if (--left > 0 || data) *end++ = ' ';
  }
  *end++ = '\n';
  text.append(line, end);
}

// Appends the object path for the header line, a line comment: each character that would end
// the comment early (LF, CR, U+2028, U+2029) is written as "?".
void put_header_path(std::string& text, std::string_view path) {
  for (std::size_t k = 0; k < path.size(); ++k) {
    const std::string_view rest = path.substr(k);
    if (rest.starts_with("\xe2\x80\xa8") || rest.starts_with("\xe2\x80\xa9")) {
      text.push_back('?');
      k += 2;
    } else {
      text.push_back(path[k] == '\n' || path[k] == '\r' ? '?' : path[k]);
    }
  }
  text.push_back('\n');
}

// True for the kinds that mark a section: KIND_CODE, KIND_DATA and KIND_END.
bool is_section_marker(Kind kind) {
  return kind == KIND_CODE || kind == KIND_DATA || kind == KIND_END;
}

// Stores the value of each fixup's symbol into field c of its word; a symbol still without a
// value ends the run with its name and "undefine symbol".
void apply_fixups(Assembly& as) {
  for (std::size_t k = 0; k < as.fixups.size(); ++k) {
    const Fixup& f = as.fixups[k];
    const std::int32_t v = sym_value(as.symtab, f.symbol);
    if (v == UNDEFINED_VALUE) {
      if (as.map != nullptr) as.map->error = as.map->fixup_place[k];
      std::string text(sym_name(as.symtab, f.symbol));
      text.push_back(' ');
      throw AsmError{text + format_pass_two(msg::UNDEFINE_SYMBOL)};
    }
    as.code[static_cast<std::size_t>(f.address)].c = v;
  }
}

// The source line of the instruction at code address `addr` (a listing is being made); 0 for
// none.
std::int64_t source_line_of(const Assembly& as, std::int32_t addr) {
  return addr < CODE_SIZE ? as.map->code_line[static_cast<std::size_t>(addr)] : 0;
}

// Writes one line per code address from 0 to the code end - 1, the code section's marker
// being item `code_item`; a word without an output rule ends the run with "undefine op".
void emit_code(Assembly& as, std::string& t, Listing* listing, std::size_t code_item) {
  std::array<std::int32_t, 4> words{};
  for (std::int32_t addr = 0; addr < as.code_loc; ++addr) {
    const auto at = static_cast<std::size_t>(addr);
    const CodeWord w = at < as.code.size() ? as.code[at] : CodeWord{};
    if (!written_form(w.op, w.a, w.b, w.c, words)) {
      // Only a word that no instruction wrote has no output rule: one below the code origin.
      if (as.map != nullptr) as.map->error = as.map->item_place[code_item];
      fail(msg::UNDEFINE_OP);
    }
    put_line(t, {words[0], words[1], words[2], words[3]});
    if (listing != nullptr) listing->code.push_back({addr, words, source_line_of(as, addr)});
  }
}

// Writes one line per data item from `item_pos` to the next section marker, where it leaves
// `item_pos`; the first is at `address`. A name without a value ends the run with
// "undefined symbol".
void emit_data(Assembly& as, std::string& t, Listing* listing, int& item_pos, std::int64_t address) {
  auto at = static_cast<std::size_t>(item_pos);
  for (; !is_section_marker(as.items[at].kind); ++at) {
    const Item& item = as.items[at];
    const std::int32_t v = item.kind == KIND_NAME ? sym_value(as.symtab, item.value) : item.value;
    if (v == UNDEFINED_VALUE) {
      if (as.map != nullptr) as.map->error = as.map->item_place[at];
      fail(msg::UNDEFINED_SYMBOL);
    }
    if (listing != nullptr) listing->data.push_back({address++, v, as.map->item_place[at].line});
    put_line(t, {v}, true);
  }
  item_pos = static_cast<int>(at);
}

}  // namespace

std::string run_pass2(Assembly& as, std::string_view object_path, Listing* listing) {
  const int n = static_cast<int>(as.items.size());
  int item_pos = 0;
  apply_fixups(as);
  // Room for the longest text these tables can give, so that it is never moved as it grows:
  // four numbers a code word, two a section's header, one a data item. A code end past the
  // code addresses ends the run before its words are written.
  const auto words = static_cast<std::size_t>(std::clamp(as.code_loc, 0, CODE_SIZE));
  const std::size_t numbers = 4 * words + 2 * as.items.size();
  std::string t;
  t.reserve(sizeof "var obj =[  // \n0];\n" + object_path.size() + numbers * sizeof "-2147483648, ");
  t = "var obj =[  // ";
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
  t.append("0];\n");
  return t;
}

}  // namespace vorn
