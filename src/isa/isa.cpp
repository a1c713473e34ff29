#include "isa/isa.h"

#include "symtab/symtab.h"

namespace vorn {

const PredefinedName PREDEFINED_NAMES[PREDEFINED_COUNT + 1] = {
    {"NOP", 0},  {"LD", 1},   {"ST", 3},   {"MOV", 76}, {"JMP", 6},   {"JAL", 7},   {"RET", 50},
    {"JT", 8},   {"JF", 9},   {"ADD", 32}, {"SUB", 33}, {"MUL", 34},  {"DIV", 35},  {"AND", 36},
    {"OR", 37},  {"XOR", 38}, {"EQ", 39},  {"NE", 40},  {"LT", 41},   {"LE", 42},   {"GT", 43},
    {"GE", 44},  {"SHL", 45}, {"SHR", 46}, {"MOD", 47}, {"TRAP", 51}, {"PUSH", 52}, {"POP", 53},
    {"R0", 0},   {"R1", 1},   {"R2", 2},   {"R3", 3},   {"R4", 4},    {"R5", 5},    {"R6", 6},
    {"R7", 7},   {"R8", 8},   {"R9", 9},   {"R10", 10}, {"R11", 11},  {"R12", 12},  {"R13", 13},
    {"R14", 14}, {"R15", 15}, {"R16", 16}, {"R17", 17}, {"R18", 18},  {"R19", 19},  {"R20", 20},
    {"R21", 21}, {"R22", 22}, {"R23", 23}, {"R24", 24}, {"R25", 25},  {"R26", 26},  {"R27", 27},
    {"R28", 28}, {"R29", 29}, {"R30", 30}, {"R31", 31}, {"", 0},
};

namespace {

// One row per range of operation numbers: the form the encoder reads for a mnemonic with that
// number, and the rule by which a stored word with that number is written.
struct OpRow {
  std::int32_t first;
  std::int32_t last;
  OperandForm form;
  OutputRule rule;
};

constexpr OpRow OP_TABLE[] = {
    {1, 1, OperandForm::load_store, OutputRule::op_a_0_c},    // LD, plain memory operand
    {2, 2, OperandForm::none, OutputRule::op_a_b_c},          // LD "@" form
    {3, 3, OperandForm::load_store, OutputRule::op_a_0_c},    // ST, plain memory operand
    {4, 4, OperandForm::none, OutputRule::op_a_b_c},          // ST "@" form
    {6, 6, OperandForm::target, OutputRule::jump},            // JMP
    {7, 9, OperandForm::reg_target, OutputRule::op_a_0_c},    // JAL, JT, JF
    {10, 25, OperandForm::none, OutputRule::op_a_b_c},        // arithmetic, immediate
    {32, 47, OperandForm::arithmetic, OutputRule::op_a_b_c},  // arithmetic, register
    {48, 49, OperandForm::none, OutputRule::op_a_b_c},        // LD, ST "+" form
    {50, 50, OperandForm::reg, OutputRule::op_a_0_0},         // RET
    {51, 51, OperandForm::trap, OutputRule::op_a_0_c},        // TRAP
    {52, 53, OperandForm::reg_reg, OutputRule::op_a_b_0},     // PUSH, POP
    {54, 54, OperandForm::none, OutputRule::move_imm},        // MOV immediate
    {76, 76, OperandForm::move, OutputRule::move_reg},        // MOV register
};

const OpRow* find_op(std::int32_t op) {
  for (const OpRow& row : OP_TABLE) {
    if (op >= row.first && op <= row.last) return &row;
  }
  return nullptr;
}

}  // namespace

void load_predefined(SymbolTable& t) {
  for (const PredefinedName* p = PREDEFINED_NAMES; p->name[0] != '\0'; ++p) {
    sym_set(t, sym_intern(t, p->name), p->value, KIND_PREDEFINED);  // 60 names: never full
  }
}

OperandForm operand_form(std::int32_t op) {
  const OpRow* row = find_op(op);
  return row != nullptr ? row->form : OperandForm::none;
}

OutputRule output_rule(std::int32_t op) {
  const OpRow* row = find_op(op);
  return row != nullptr ? row->rule : OutputRule::none;
}

bool written_form(std::int32_t op, std::int32_t a, std::int32_t b, std::int32_t c,
                  std::array<std::int32_t, 4>& out) {
  switch (output_rule(op)) {
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
