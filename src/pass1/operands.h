// Operand parsing and encoding: reads an instruction's operands from the token stream and fills
// the code word at `code_loc`, recording forward references as fixups.
#pragma once

#include <cstdint>

namespace vorn {

struct Assembly;

/// Encodes one instruction whose mnemonic has the number `op` into the word at `code_loc`.
/// "code address out of range" when `code_loc` lies outside the code image.
void encode_instruction(Assembly& as, std::int32_t op);

}  // namespace vorn
