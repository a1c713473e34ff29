#include "isa/isa.h"

#include <iterator>
#include <utility>

#include "symtab/symtab.h"

namespace vorn {

namespace {

struct PredefinedName {
  std::string_view name;
  std::int32_t value;
};

// The mnemonics and register names in load order.
constexpr PredefinedName PREDEFINED_NAMES[PREDEFINED_COUNT] = {
    {"NOP", 0},  {"LD", 1},   {"ST", 3},   {"MOV", 76}, {"JMP", 6},   {"JAL", 7},   {"RET", 50},
    {"JT", 8},   {"JF", 9},   {"ADD", 32}, {"SUB", 33}, {"MUL", 34},  {"DIV", 35},  {"AND", 36},
    {"OR", 37},  {"XOR", 38}, {"EQ", 39},  {"NE", 40},  {"LT", 41},   {"LE", 42},   {"GT", 43},
    {"GE", 44},  {"SHL", 45}, {"SHR", 46}, {"MOD", 47}, {"TRAP", 51}, {"PUSH", 52}, {"POP", 53},
    {"R0", 0},   {"R1", 1},   {"R2", 2},   {"R3", 3},   {"R4", 4},    {"R5", 5},    {"R6", 6},
    {"R7", 7},   {"R8", 8},   {"R9", 9},   {"R10", 10}, {"R11", 11},  {"R12", 12},  {"R13", 13},
    {"R14", 14}, {"R15", 15}, {"R16", 16}, {"R17", 17}, {"R18", 18},  {"R19", 19},  {"R20", 20},
    {"R21", 21}, {"R22", 22}, {"R23", 23}, {"R24", 24}, {"R25", 25},  {"R26", 26},  {"R27", 27},
    {"R28", 28}, {"R29", 29}, {"R30", 30}, {"R31", 31},
};

// The mnemonics come first among the predefined names; the register names follow.
constexpr int MNEMONIC_COUNT = 28;

// How a stored code word (op, a, b, c) is written as four numbers.
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

// One row per range of operation numbers: the form the encoder reads for a mnemonic with that
// number, the rule by which a stored word with that number is written, and what the operand
// forms store instead of the number: the immediate form ("#") the number plus `immediate`,
// the indirect form ("@") the number plus `indirect`, the indexed form ("+") `indexed`.
struct OpRow {
  std::int32_t first;
  std::int32_t last;
  OperandForm form;
  OutputRule rule;
  std::int32_t immediate = 0;
  std::int32_t indirect = 0;
  std::int32_t indexed = 0;
};

constexpr OpRow OP_TABLE[] = {
    {1, 1, OperandForm::load_store, OutputRule::op_a_0_c, 0, +1, 48},  // LD, memory operand
    {2, 2, OperandForm::none, OutputRule::op_a_b_c},                   // LD "@" form
    {3, 3, OperandForm::load_store, OutputRule::op_a_0_c, 0, +1, 49},  // ST, memory operand
    {4, 4, OperandForm::none, OutputRule::op_a_b_c},                   // ST "@" form
    {6, 6, OperandForm::target, OutputRule::jump},                     // JMP
    {7, 9, OperandForm::reg_target, OutputRule::op_a_0_c},             // JAL, JT, JF
    {10, 25, OperandForm::none, OutputRule::op_a_b_c},                 // arithmetic, immediate
    {32, 47, OperandForm::arithmetic, OutputRule::op_a_b_c, -22},      // arithmetic, register
    {48, 49, OperandForm::none, OutputRule::op_a_b_c},                 // LD, ST "+" form
    {50, 50, OperandForm::reg, OutputRule::op_a_0_0},                  // RET
    {51, 51, OperandForm::trap, OutputRule::op_a_0_c},                 // TRAP
    {52, 53, OperandForm::reg_reg, OutputRule::op_a_b_0},              // PUSH, POP
    {54, 54, OperandForm::none, OutputRule::move_imm},                 // MOV immediate
    {76, 76, OperandForm::move, OutputRule::move_reg, -22},            // MOV register
};

// The operand forms of the mnemonic whose number is `op`, each with the operation number it
// stores: the mnemonic's own, or that of its immediate, indirect or indexed form.
std::vector<std::pair<std::string_view, std::int32_t>> stored_forms(std::int32_t op) {
  const FormOps o = form_ops(op);
  switch (operand_form(op)) {
    case OperandForm::load_store:
      return {{"REG VALUE", op}, {"REG @VALUE REG", o.indirect}, {"REG +VALUE REG", o.indexed}};
    case OperandForm::target:
      return {{"TARGET", op}};
    case OperandForm::reg_target:
      return {{"REG TARGET", op}};
    case OperandForm::arithmetic:
      return {{"REG REG REG", op}, {"REG REG #VALUE", o.immediate}};
    case OperandForm::reg:
      return {{"REG", op}};
    case OperandForm::trap:
      return {{"REG #VALUE", op}};
    case OperandForm::reg_reg:
      return {{"REG REG", op}};
    case OperandForm::move:
      return {{"REG REG", op}, {"REG #VALUE", o.immediate}};
    case OperandForm::none:
      break;
  }
  return {};
}

const OpRow* find_op(std::int32_t op) {
  for (const OpRow& row : OP_TABLE) {
    if (op >= row.first && op <= row.last) return &row;
  }
  return nullptr;
}

}  // namespace

void load_predefined(SymbolTable& t) {
  for (const PredefinedName& p : PREDEFINED_NAMES) {  // 60 names: the table is never full
    sym_set(t, sym_intern(t, p.name, name_hash(p.name)), p.value, KIND_PREDEFINED);
  }
}

std::vector<MnemonicInfo> mnemonics() {
  std::vector<MnemonicInfo> out;
  for (int k = 0; k < MNEMONIC_COUNT; ++k) {
    const PredefinedName& p = PREDEFINED_NAMES[k];
    MnemonicInfo m{p.name, p.value, {}};
    for (const auto& [operands, stored] : stored_forms(p.value)) {
      std::array<std::int32_t, 4> written{};
      written_form(stored, 0, 0, 0, written);
      m.forms.push_back({operands, written[0]});
    }
    out.push_back(m);
  }
  return out;
}

std::vector<std::string_view> register_names() {
  std::vector<std::string_view> out;
  for (int k = MNEMONIC_COUNT; k < PREDEFINED_COUNT; ++k) out.push_back(PREDEFINED_NAMES[k].name);
  return out;
}

OperandForm operand_form(std::int32_t op) {
  const OpRow* row = find_op(op);
  return row != nullptr ? row->form : OperandForm::none;
}

FormOps form_ops(std::int32_t op) {
  const OpRow* row = find_op(op);
  if (row == nullptr) return {0, 0, 0};
  return {row->immediate != 0 ? op + row->immediate : 0,
          row->indirect != 0 ? op + row->indirect : 0, row->indexed};
}

bool written_form(std::int32_t op, std::int32_t a, std::int32_t b, std::int32_t c,
                  std::array<std::int32_t, 4>& out) {
  const OpRow* row = find_op(op);
  switch (row != nullptr ? row->rule : OutputRule::none) {
    case OutputRule::op_a_0_c:
      out = {op, a, 0, c};
      return true;
    case OutputRule::op_a_b_c:
      out = {op, a, b, c};
      return true;
    case OutputRule::jump:
      out = {9, 0, 0, c};
      return true;
    case OutputRule::op_a_0_0:
      out = {op, a, 0, 0};
      return true;
    case OutputRule::op_a_b_0:
      out = {op, a, b, 0};
      return true;
    case OutputRule::move_imm:
      out = {15, a, 0, c};
      return true;
    case OutputRule::move_reg:
      out = {37, a, 0, c};
      return true;
    case OutputRule::none:
      break;
  }
  return false;
}

}  // namespace vorn
