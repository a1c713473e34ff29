#include "symtab/symtab.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

#include "isa/isa.h"

namespace vorn {
namespace {

struct SymtabTest : ::testing::Test {
  std::unique_ptr<SymbolTable> table{new SymbolTable};
  SymbolTable& t = *table;
};

TEST_F(SymtabTest, InternFindSet) {
  int a = sym_intern(t, "ALPHA");
  EXPECT_EQ(a, 0);  // indices in the order names are entered
  EXPECT_EQ(sym_intern(t, "ALPHA"), a);
  EXPECT_EQ(t.symbol_count, 1);
  EXPECT_EQ(sym_find(t, "ALPHA"), a);
  EXPECT_EQ(sym_value(t, a), UNDEFINED_VALUE);
  EXPECT_EQ(sym_kind(t, a), KIND_NAME);
  EXPECT_EQ(sym_find(t, "BETA"), -1);
  EXPECT_EQ(sym_intern(t, "BETA"), 1);
  sym_set(t, a, 42, KIND_NAME);
  EXPECT_EQ(sym_value(t, a), 42);
  EXPECT_EQ(sym_name(t, a), "ALPHA");
}

// Catches a comparison that stops at a NUL, at a prefix or at 8 bytes, or a name store that
// loses a name as it grows.
TEST_F(SymtabTest, LongNamesAndOddBytesAreDistinctNames) {
  const std::string base(31, 'N');
  const int x = sym_intern(t, base + "X");
  const int y = sym_intern(t, base + "Y");
  EXPECT_NE(x, y);
  const int huge = sym_intern(t, std::string(100000, '\xff'));
  EXPECT_EQ(sym_find(t, std::string(100000, '\xff')), huge);
  EXPECT_EQ(sym_find(t, std::string(99999, '\xff')), -1);
  EXPECT_NE(sym_intern(t, std::string("A\0B", 3)), sym_intern(t, "A"));
  EXPECT_NE(sym_intern(t, "ABCDEFGH1"), sym_intern(t, "ABCDEFGH2"));
  EXPECT_EQ(sym_name(t, x), base + "X");
  EXPECT_EQ(sym_name(t, huge), std::string(100000, '\xff'));
}

// Thousands of similar names, all kept apart and found again, up to the limit: the 3960th
// insertion, counting the 60 predefined names, is refused, while present names still resolve.
TEST_F(SymtabTest, SimilarNamesUpToTheLimit) {
  load_predefined(t);
  std::string name = "ABCDEFGH";
  for (int k = 0; k < MAX_SYMBOLS - PREDEFINED_COUNT; ++k) {
    ASSERT_EQ(sym_intern(t, name), PREDEFINED_COUNT + k) << name;
    std::next_permutation(name.begin(), name.end());
  }
  EXPECT_EQ(t.symbol_count, MAX_SYMBOLS);
  name = "ABCDEFGH";
  for (int k = 0; k < MAX_SYMBOLS - PREDEFINED_COUNT; ++k) {
    ASSERT_EQ(sym_find(t, name), PREDEFINED_COUNT + k) << name;
    std::next_permutation(name.begin(), name.end());
  }
  EXPECT_EQ(sym_intern(t, "ABCDEFGH"), PREDEFINED_COUNT);
  EXPECT_EQ(sym_intern(t, "ONE_TOO_MANY"), SYMTAB_FULL);
  EXPECT_EQ(t.symbol_count, MAX_SYMBOLS);
}

TEST_F(SymtabTest, PredefinedNames) {
  load_predefined(t);
  EXPECT_EQ(t.symbol_count, 60);
  for (int i = 0; i < t.symbol_count; ++i) EXPECT_EQ(sym_kind(t, i), KIND_PREDEFINED);
  const std::pair<const char*, int> expected[] = {
      {"NOP", 0}, {"LD", 1},   {"ST", 3},   {"MOV", 76}, {"JMP", 6},   {"JAL", 7},   {"RET", 50},
      {"JT", 8},  {"JF", 9},   {"ADD", 32}, {"SUB", 33}, {"MUL", 34},  {"DIV", 35},  {"AND", 36},
      {"OR", 37}, {"XOR", 38}, {"EQ", 39},  {"NE", 40},  {"LT", 41},   {"LE", 42},   {"GT", 43},
      {"GE", 44}, {"SHL", 45}, {"SHR", 46}, {"MOD", 47}, {"TRAP", 51}, {"PUSH", 52}, {"POP", 53}};
  for (auto [name, value] : expected) EXPECT_EQ(sym_value(t, sym_find(t, name)), value) << name;
  for (int n = 0; n < 32; ++n) {
    EXPECT_EQ(sym_value(t, sym_find(t, "R" + std::to_string(n))), n);
  }
  EXPECT_EQ(sym_find(t, "R32"), -1);
}

}  // namespace
}  // namespace vorn
