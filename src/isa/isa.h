// What the assembler knows of the machine: the predefined names with their numbers, the operand
// form of each operation number and the rule by which each stored word is written out.
#pragma once

#include <array>
#include <cstdint>

namespace vorn {

struct SymbolTable;

struct PredefinedName {
  const char* name;
  std::int32_t value;
};

constexpr int PREDEFINED_COUNT = 60;

/// The mnemonics and register names in load order, followed by a row with an empty name.
extern const PredefinedName PREDEFINED_NAMES[PREDEFINED_COUNT + 1];

/// Enters every predefined name into the table with its number and KIND_PREDEFINED.
void load_predefined(SymbolTable& t);

/// The operands a mnemonic's number reads, in source order.
enum class OperandForm {
  none,        // no form: "undefine op"
  load_store,  // register into a; memory operand
  target,      // target into c
  reg_target,  // register into a; target into c
  arithmetic,  // register into a; register into b; register-or-immediate into c
  reg,         // register into a
  trap,        // register into a; constant into c
  reg_reg,     // register into a; register into b
  move,        // register into a; register-or-immediate into c
};

/// How a stored code word (op, a, b, c) is written as four numbers.
enum class OutputRule {
  none,  // no rule: "undefine op"
  op_a_0_c,
  op_a_b_c,
  jump,  // 9, 0, 0, c: a jump is written as JF on register 0
  op_a_0_0,
  op_a_b_0,
  move_imm,  // 15, a, 0, c: OR immediate with register 0
  move_reg,  // 37, a, 0, c: OR with register 0
};

/// The operand form read for a mnemonic whose number is `op`.
OperandForm operand_form(std::int32_t op);

/// The output rule of a stored operation number.
OutputRule output_rule(std::int32_t op);

/// Writes into `out` the four numbers that the word (op, a, b, c) is written as. Returns false
/// when `op` has no output rule.
bool written_form(std::int32_t op, std::int32_t a, std::int32_t b, std::int32_t c,
                  std::array<std::int32_t, 4>& out);

}  // namespace vorn
