#include "pass1/pass1.h"

#include <algorithm>
#include <string_view>

#include "isa/isa.h"
#include "pass1/operands.h"
#include "state/state.h"

namespace vorn {

namespace {

bool at(const Assembly& as, std::string_view keyword) {
  return as.reader.current_token == keyword;
}

// label = ":" name. Defines the name as the address of the next instruction.
void define_label(Assembly& as) {
  const std::string_view name = std::string_view(as.reader.current_token).substr(1);
  if (name.empty()) report_error(as.reader, msg::EXPECT_LABEL);
  const int i = intern(as, name);
  if (sym_value(as.symtab, i) != UNDEFINED_VALUE) report_error(as.reader, msg::DUPLICATE_LABEL);
  sym_set(as.symtab, i, as.code_loc, KIND_NAME);
  map_definition(as, i, true);
  map_use(as, i, name, true);
}

// instruction = mnemonic { operand }. The mnemonic must be a predefined name.
void assemble_instruction(Assembly& as) {
  const std::string_view token = as.reader.current_token;
  const int i = sym_find(as.symtab, token, name_hash_of(as.reader, token));
  if (i < 0 || sym_kind(as.symtab, i) != KIND_PREDEFINED) {
    report_error(as.reader, msg::UNDEFINED_OP);
  }
  if (as.map != nullptr && as.code_loc >= 0 && as.code_loc < CODE_SIZE) {
    as.map->code_line[static_cast<std::size_t>(as.code_loc)] = as.reader.line_no;
  }
  encode_instruction(as, sym_value(as.symtab, i));
  ++as.code_loc;
}

// symbol_section = ".SYMBOL" { name number }. Returns with ".CODE" as the current token.
void parse_symbol_section(Assembly& as) {
  if (!at(as, ".SYMBOL")) report_error(as.reader, msg::EXPECT_SYMBOL);
  take_token(as.reader);
  while (!at(as, ".CODE")) {
    const int i = intern(as, as.reader.current_token);
    if (sym_value(as.symtab, i) != UNDEFINED_VALUE) report_error(as.reader, msg::DUPLICATE_SYMBOL);
    map_definition(as, i, false);
    map_use(as, i, as.reader.current_token, true);
    sym_set(as.symtab, i, take_number_token(as.reader), KIND_NAME);
    take_token(as.reader);
  }
}

// code_section = ".CODE" number { label | instruction }. Returns with ".DATA" current.
void parse_code_section(Assembly& as) {
  as.code_loc = take_number_token(as.reader);
  as.code.resize(static_cast<std::size_t>(std::clamp(as.code_loc, 0, CODE_SIZE)));  // zeros (op 0)
  item_append(as, KIND_CODE, as.code_loc);
  take_token(as.reader);
  while (!at(as, ".DATA")) {
    if (as.reader.current_token.front() == ':') {
      define_label(as);
    } else {
      assemble_instruction(as);
    }
    take_token(as.reader);
  }
}

// data_section = ".DATA" number { number | name }. Returns with ".END" current.
void parse_data_section(Assembly& as) {
  as.data_loc = take_number_token(as.reader);
  item_append(as, KIND_DATA, static_cast<std::int32_t>(as.data_loc));
  take_token(as.reader);
  while (!at(as, ".END")) {
    std::int32_t number = 0;
    if (take_number(as.reader, as.reader.current_token, number)) {
      item_append(as, KIND_NUMBER, number);
    } else {
      const int i = intern(as, as.reader.current_token);
      map_use(as, i, as.reader.current_token, false);
      item_append(as, KIND_NAME, i);
    }
    ++as.data_loc;
    take_token(as.reader);
  }
}

}  // namespace

void run_pass1(Assembly& as) {
  take_token(as.reader);
  parse_symbol_section(as);
  parse_code_section(as);
  parse_data_section(as);
  // The data end, kept as a 32-bit value; pass two reads only the kind of this record.
  item_append(as, KIND_END, static_cast<std::int32_t>(as.data_loc));
}

}  // namespace vorn
