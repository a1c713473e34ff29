// What the assembler knows of the machine: the predefined names with their numbers, the operand
// form of each operation number and the rule by which each stored word is written out.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

namespace vorn {

struct SymbolTable;

constexpr int PREDEFINED_COUNT = 60;  // mnemonics and register names

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

/// The operand form read for a mnemonic whose number is `op`.
OperandForm operand_form(std::int32_t op);

/// The operation numbers that a mnemonic's operand forms store: "#" value (immediate), "@"
/// value register (indirect), "+" value register (indexed); 0 where it has no such form.
struct FormOps {
  std::int32_t immediate;
  std::int32_t indirect;
  std::int32_t indexed;
};
FormOps form_ops(std::int32_t op);

/// One operand form of a mnemonic as a reference shows it: its operands in source syntax
/// ("REG", "TARGET", "#VALUE", "@VALUE REG", ...), and the operation number that an instruction
/// of this form is written with in the object file.
struct FormInfo {
  std::string_view operands;
  std::int32_t written_op;
};

/// A mnemonic as a reference shows it: its name, its number, and its operand forms (none for a
/// mnemonic that assembles as "undefine op").
struct MnemonicInfo {
  std::string_view name;
  std::int32_t op;
  std::vector<FormInfo> forms;
};

/// Every mnemonic, in the order of the predefined names; the register names are not among them.
std::vector<MnemonicInfo> mnemonics();

/// The register names, R0 to R31.
std::vector<std::string_view> register_names();

/// Writes into `out` the four numbers that the word (op, a, b, c) is written as. Returns false
/// when `op` has no output rule.
bool written_form(std::int32_t op, std::int32_t a, std::int32_t b, std::int32_t c,
                  std::array<std::int32_t, 4>& out);

}  // namespace vorn
