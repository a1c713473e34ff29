#include "isa/isa.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "symtab/symtab.h"

namespace vorn {
namespace {

using Words = std::array<std::int32_t, 4>;

TEST(OutputRule, EveryStoredOperation) {
  struct Case {
    std::int32_t op;
    Words written;
  } cases[] = {
      {1, {1, 5, 0, 7}},   {3, {3, 5, 0, 7}},   {2, {2, 5, 6, 7}},   {4, {4, 5, 6, 7}},
      {48, {48, 5, 6, 7}}, {49, {49, 5, 6, 7}}, {6, {9, 0, 0, 7}},   {7, {7, 5, 0, 7}},
      {8, {8, 5, 0, 7}},   {9, {9, 5, 0, 7}},   {50, {50, 5, 0, 0}}, {51, {51, 5, 0, 7}},
      {52, {52, 5, 6, 0}}, {53, {53, 5, 6, 0}}, {54, {15, 5, 0, 7}}, {76, {37, 5, 0, 7}},
  };
  for (const Case& c : cases) {
    Words out{};
    ASSERT_TRUE(written_form(c.op, 5, 6, 7, out)) << c.op;
    EXPECT_EQ(out, c.written) << c.op;
  }
  for (std::int32_t op = 10; op <= 47; ++op) {
    Words out{};
    EXPECT_EQ(written_form(op, 5, 6, 7, out), op <= 25 || op >= 32) << op;
  }
  for (std::int32_t op : {0, 5, 26, 31, 55, 75, 77, -1, INT32_MIN, INT32_MAX}) {
    Words out{};
    EXPECT_FALSE(written_form(op, 1, 2, 3, out)) << op;
  }
}

TEST(OperandForm, OnlyMnemonicNumbersHaveForms) {
  EXPECT_EQ(operand_form(1), OperandForm::load_store);
  EXPECT_EQ(operand_form(6), OperandForm::target);
  EXPECT_EQ(operand_form(9), OperandForm::reg_target);
  EXPECT_EQ(operand_form(47), OperandForm::arithmetic);
  EXPECT_EQ(operand_form(76), OperandForm::move);
  // Stored forms (immediate, "@", "+") and NOP are not mnemonics.
  for (std::int32_t op : {0, 2, 4, 10, 25, 48, 49, 54, 5, 31}) {
    EXPECT_EQ(operand_form(op), OperandForm::none) << op;
  }
}

// Catches a reference that takes a register for a mnemonic or leaves one out (or a register): it is read off
// the same table as the symbol table's predefined names.
TEST(Reference, EveryMnemonicAndNoRegister) {
  const std::vector<MnemonicInfo> all = mnemonics();
  ASSERT_EQ(all.size(), 28u);
  EXPECT_EQ(all.front().name, "NOP");
  EXPECT_EQ(all.front().operands, "");
  EXPECT_EQ(all.back().name, "POP");
  for (const MnemonicInfo& m : all) {
    EXPECT_FALSE(m.name[0] == 'R' && m.name.size() > 1 && m.name[1] >= '0' && m.name[1] <= '9');
    EXPECT_EQ(m.operands.empty(), operand_form(m.op) == OperandForm::none) << m.name;
  }
  const std::vector<std::string_view> registers = register_names();
  ASSERT_EQ(registers.size(), 32u);
  EXPECT_EQ(registers.front(), "R0");
  EXPECT_EQ(registers.back(), "R31");
}

// Catches a shortcut for registers or mnemonics that disagrees with the predefined names: one
// that takes R32, R01, ADDX or ADD and a NUL for a predefined name, misses one, or gives it
// another number.
TEST(Predefined, RegisterAndMnemonicShortcutsAgreeWithTheTable) {
  SymbolTable t;
  load_predefined(t);
  std::vector<std::string> tokens;
  for (const MnemonicInfo& m : mnemonics()) {
    tokens.emplace_back(m.name);
    tokens.push_back(std::string(m.name) + "X");
    tokens.emplace_back(m.name.substr(0, m.name.size() - 1));
  }
  for (int k = 0; k < 400; ++k) tokens.push_back("R" + std::to_string(k));
  for (const char* odd : {"R", "R00", "R01", "R09", "RR", "R/", "R:", "R3/", "R1:", "ADDADDAD"}) {
    tokens.emplace_back(odd);
  }
  // A token may hold NUL bytes: one that zero-extends a mnemonic's head, or is all zeros.
  tokens.emplace_back(std::string("ADD\0", 4));
  tokens.emplace_back(std::string("JT\0\0\0\0\0\0X", 9));
  tokens.emplace_back(std::string(9, '\0'));
  for (const std::string& token : tokens) {
    const int i = sym_find(t, token);
    const bool is_register = i >= 0 && token[0] == 'R' && token.size() > 1 && token[1] <= '9';
    std::int32_t number = -1;
    EXPECT_EQ(register_number(token, number), is_register) << token;
    if (is_register) {
      EXPECT_EQ(number, sym_value(t, i)) << token;
    }
    std::int32_t op = -1;
    const bool is_mnemonic = i >= 0 && !is_register;
    EXPECT_EQ(mnemonic_number(name_head(token), token.size(), op), is_mnemonic) << token;
    if (is_mnemonic) {
      EXPECT_EQ(op, sym_value(t, i)) << token;
    }
  }
}
}  // namespace
}  // namespace vorn

namespace vorn {
namespace {

// Catches an image of the predefined names, worked out when vorn is built, that differs from
// what entering them one by one leaves (a slot, a free-slot chain, an index cell, a head):
// the two tables must match in every slot and cell, and go on to place new names alike.
TEST(Predefined, ImageIsWhatEnteringTheNamesLeaves) {
  SymbolTable image;
  load_predefined(image);
  SymbolTable entered;
  std::vector<std::pair<std::string_view, std::int32_t>> names;
  for (const MnemonicInfo& m : mnemonics()) names.emplace_back(m.name, m.op);
  std::int32_t number = 0;
  for (std::string_view r : register_names()) names.emplace_back(r, number++);
  for (const auto& [name, value] : names)
    sym_set(entered, sym_intern(entered, name), value, KIND_PREDEFINED);
  // Names that share home slots with predefined ones ("R1" and "1R" add up alike).
  for (const char* name : {"1R", "DL", "POP2", "2POP", "R", "MOVE"}) {
    EXPECT_EQ(sym_intern(image, name), sym_intern(entered, name)) << name;
  }
  ASSERT_EQ(image.names.text(), entered.names.text());
  for (std::size_t k = 0; k < SYMTAB_SIZE; ++k) {
    ASSERT_EQ(image.fingerprint[k], entered.fingerprint[k]) << k;
    if (image.fingerprint[k] == 0) continue;
    ASSERT_EQ(image.next_free[k], entered.next_free[k]) << k;
    ASSERT_EQ(sym_name(image, static_cast<int>(k)), sym_name(entered, static_cast<int>(k)));
    ASSERT_EQ(image.entries[k].head, entered.entries[k].head) << k;
    ASSERT_EQ(sym_value(image, static_cast<int>(k)), sym_value(entered, static_cast<int>(k)));
    ASSERT_EQ(sym_kind(image, static_cast<int>(k)), sym_kind(entered, static_cast<int>(k)));
  }
  EXPECT_EQ(image.name_index, entered.name_index);
  EXPECT_EQ(image.symbol_count, entered.symbol_count);
}

}  // namespace
}  // namespace vorn
