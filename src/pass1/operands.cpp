#include "pass1/operands.h"

#include "isa/isa.h"
#include "state/state.h"

namespace vorn {

namespace {

CodeWord& current_word(Assembly& as) {
  return as.code.back();
}

bool has_prefix(std::string_view token) {
  char c = token.front();
  return c == ':' || c == '@' || c == '+' || c == '#';
}

struct Operand {
  std::int32_t value;  // the number, the name's value, or the symbol index when unresolved
  Kind kind;           // KIND_NUMBER, KIND_NAME or KIND_UNRESOLVED
};

// Resolves a number or a name, `text`. A name without a value is a forward reference: when
// `forward_ok` it is recorded as a fixup of the current word and returned as KIND_UNRESOLVED,
// otherwise the run ends with "undefine symbol".
Operand resolve_operand(Assembly& as, std::string_view text, bool forward_ok) {
  std::int32_t number = 0;
  if (take_number(as.reader, text, number)) return {number, KIND_NUMBER};
  const int i = intern(as, text);
  map_use(as, i, text, false);
  const std::int32_t v = sym_value(as.symtab, i);
  if (v != UNDEFINED_VALUE) return {v, KIND_NAME};
  if (!forward_ok) report_error(as.reader, msg::UNDEFINE_SYMBOL);
  fixup_add(as, as.code_loc, i, text);
  return {i, KIND_UNRESOLVED};
}

// register = token without a ":", "@", "+" or "#" prefix, naming a defined value. Into `to`, a
// field of the current word.
void parse_register(Assembly& as, std::int32_t& to) {
  take_token(as.reader);
  const std::string_view tok = as.reader.current_token;
  if (has_prefix(tok)) report_error(as.reader, msg::EXPECT_REGISTER);
  to = resolve_operand(as, tok, false).value;
}

// target = token without a prefix; may be a forward reference. Fills field c.
void parse_target(Assembly& as) {
  take_token(as.reader);
  const std::string_view tok = as.reader.current_token;
  if (has_prefix(tok)) report_error(as.reader, msg::EXPECT_ADS);
  current_word(as).c = resolve_operand(as, tok, true).value;
}

// constant = "#" value; may be a forward reference. Fills field c.
void parse_constant(Assembly& as) {
  take_token(as.reader);
  const std::string_view tok = as.reader.current_token;
  if (tok.front() != '#') report_error(as.reader, msg::EXPECT_CONSTANT);
  current_word(as).c = resolve_operand(as, tok.substr(1), true).value;
}

// reg_or_imm = "#" value (the operation's immediate form) | register. Fills field c.
void parse_reg_or_imm(Assembly& as) {
  take_token(as.reader);
  const std::string_view tok = as.reader.current_token;
  CodeWord& w = current_word(as);
  if (tok.front() == '#') {
    w.c = resolve_operand(as, tok.substr(1), true).value;
    w.op = form_ops(w.op).immediate;
  } else {
    w.c = resolve_operand(as, tok, false).value;
  }
}

// address = "@" value register | "+" value register | value, each form with its own
// operation number.
void parse_address(Assembly& as) {
  take_token(as.reader);
  const std::string_view tok = as.reader.current_token;
  CodeWord& w = current_word(as);
  if (tok.front() == '@') {
    w.c = resolve_operand(as, tok.substr(1), true).value;
    parse_register(as, w.b);
    w.op = form_ops(w.op).indirect;
  } else if (tok.front() == '+') {
    w.b = resolve_operand(as, tok.substr(1), false).value;
    parse_register(as, w.c);
    w.op = form_ops(w.op).indexed;
  } else {
    w.c = resolve_operand(as, tok, true).value;
  }
}

}  // namespace

void encode_instruction(Assembly& as, std::int32_t op) {
  if (as.code_loc < 0 || as.code_loc >= CODE_SIZE) {
    report_error(as.reader, msg::CODE_ADDRESS_OUT_OF_RANGE);
  }
  as.code.push_back({op, 0, 0, 0});  // the fields a form does not read stay 0
  CodeWord& w = current_word(as);
  switch (operand_form(op)) {
    case OperandForm::load_store:
      parse_register(as, w.a);
      parse_address(as);
      break;
    case OperandForm::target:
      parse_target(as);
      break;
    case OperandForm::reg_target:
      parse_register(as, w.a);
      parse_target(as);
      break;
    case OperandForm::arithmetic:
      parse_register(as, w.a);
      parse_register(as, w.b);
      parse_reg_or_imm(as);
      break;
    case OperandForm::reg:
      parse_register(as, w.a);
      break;
    case OperandForm::trap:
      parse_register(as, w.a);
      parse_constant(as);
      break;
    case OperandForm::reg_reg:
      parse_register(as, w.a);
      parse_register(as, w.b);
      break;
    case OperandForm::move:
      parse_register(as, w.a);
      parse_reg_or_imm(as);
      break;
    case OperandForm::none:
      report_error(as.reader, msg::UNDEFINE_OP);
  }
}

}  // namespace vorn
