// Operand parsing and encoding: reads an instruction's operands from the token stream and fills
// the code word at `code_loc`, recording forward references as fixups.
#pragma once

#include <cstdint>
#include <string_view>

namespace vorn {

struct Assembly;

struct Operand {
  std::int32_t value;  // the number, the name's value, or the symbol index when unresolved
  std::int32_t kind;   // KIND_NUMBER, KIND_NAME or KIND_UNRESOLVED
};

/// Resolves a number or a name. A name without a value is a forward reference: when
/// `forward_ok` it is recorded as a fixup of the current word and returned as KIND_UNRESOLVED,
/// otherwise the run ends with "undefine symbol".
Operand resolve_operand(Assembly& as, std::string_view text, bool forward_ok);

/// register = token without a ":", "@", "+" or "#" prefix, naming a defined value.
void parse_register(Assembly& as, int field);
/// target = token without a prefix; may be a forward reference. Fills field c.
void parse_ads(Assembly& as);
/// constant = "#" value; may be a forward reference. Fills field c.
void parse_constant(Assembly& as);
/// reg_or_imm = "#" value (immediate form: op lowered by 22) | register. Fills field c.
void parse_reg_or_imm(Assembly& as);
/// address = "@" value register | "+" value register | value.
void parse_address(Assembly& as);

/// Encodes one instruction whose mnemonic has the number `op` into the word at `code_loc`.
/// "code address out of range" when `code_loc` lies outside the code image.
void encode_instruction(Assembly& as, std::int32_t op);

}  // namespace vorn
