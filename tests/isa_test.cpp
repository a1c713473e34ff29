#include "isa/isa.h"

#include <gtest/gtest.h>

#include <memory>
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

// Catches a reference that takes a register for a mnemonic or leaves one out (or a register): it is
// read off the same table as the symbol table's predefined names.
TEST(Reference, EveryMnemonicAndNoRegister) {
  const std::vector<MnemonicInfo> all = mnemonics();
  ASSERT_EQ(all.size(), 28u);
  EXPECT_EQ(all.front().name, "NOP");
  EXPECT_TRUE(all.front().forms.empty());
  EXPECT_EQ(all.back().name, "POP");
  for (const MnemonicInfo& m : all) {
    EXPECT_FALSE(m.name[0] == 'R' && m.name.size() > 1 && m.name[1] >= '0' && m.name[1] <= '9');
    EXPECT_EQ(m.forms.empty(), operand_form(m.op) == OperandForm::none) << m.name;
  }
  // Each form with the number the object holds for it, not the number stored for the name.
  const auto written = [&](std::string_view name) {
    std::string out;
    for (const MnemonicInfo& m : all) {
      for (const FormInfo& f : m.forms) {
        if (m.name == name)
          out += std::string(f.operands) + "=" + std::to_string(f.written_op) + ";";
      }
    }
    return out;
  };
  EXPECT_EQ(written("MOV"), "REG REG=37;REG #VALUE=15;");
  EXPECT_EQ(written("JMP"), "TARGET=9;");
  EXPECT_EQ(written("LD"), "REG VALUE=1;REG @VALUE REG=2;REG +VALUE REG=48;");
  EXPECT_EQ(written("ST"), "REG VALUE=3;REG @VALUE REG=4;REG +VALUE REG=49;");
  EXPECT_EQ(written("MOD"), "REG REG REG=47;REG REG #VALUE=25;");
  EXPECT_EQ(written("TRAP"), "REG #VALUE=51;");
  const std::vector<std::string_view> registers = register_names();
  ASSERT_EQ(registers.size(), 32u);
  EXPECT_EQ(registers.front(), "R0");
  EXPECT_EQ(registers.back(), "R31");
}

}  // namespace
}  // namespace vorn
