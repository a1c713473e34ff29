#include "symtab/symtab.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

#include "isa/isa.h"

namespace vorn {
namespace {

struct SymtabTest : ::testing::Test {
  std::unique_ptr<SymbolTable> table = std::make_unique<SymbolTable>();
  SymbolTable& t = *table;
  int intern(std::string_view name) { return sym_intern(t, name, name_hash(name)); }
  int find(std::string_view name) { return sym_find(t, name, name_hash(name)); }
};

TEST_F(SymtabTest, InternFindSet) {
  int a = intern("ALPHA");
  EXPECT_EQ(a, 0);  // indices in the order names are entered
  EXPECT_EQ(intern("ALPHA"), a);
  EXPECT_EQ(static_cast<int>(t.entries.size()), 1);
  EXPECT_EQ(find("ALPHA"), a);
  EXPECT_EQ(sym_value(t, a), UNDEFINED_VALUE);
  EXPECT_EQ(sym_kind(t, a), KIND_NAME);
  EXPECT_EQ(find("BETA"), -1);
  EXPECT_EQ(intern("BETA"), 1);
  sym_set(t, a, 42, KIND_NAME);
  EXPECT_EQ(sym_value(t, a), 42);
  EXPECT_EQ(sym_name(t, a), "ALPHA");
}

// Catches a comparison that stops at a NUL, at a prefix or at 8 bytes, or a name store that
// loses a name as it grows.
TEST_F(SymtabTest, LongNamesAndOddBytesAreDistinctNames) {
  const std::string base(31, 'N');
  const int x = intern(base + "X");
  const int y = intern(base + "Y");
  EXPECT_NE(x, y);
  const int huge = intern(std::string(100000, '\xff'));
  EXPECT_EQ(find(std::string(100000, '\xff')), huge);
  EXPECT_EQ(find(std::string(99999, '\xff')), -1);
  EXPECT_NE(intern(std::string("A\0B", 3)), intern("A"));
  EXPECT_NE(intern("ABCDEFGH1"), intern("ABCDEFGH2"));
  EXPECT_EQ(sym_name(t, x), base + "X");
  EXPECT_EQ(sym_name(t, huge), std::string(100000, '\xff'));
}

// Thousands of similar names, all kept apart and found again, up to the limit: the 3960th
// insertion, counting the 60 predefined names, is refused, while present names still resolve.
TEST_F(SymtabTest, SimilarNamesUpToTheLimit) {
  load_predefined(t);
  std::string name = "ABCDEFGH";
  for (int k = 0; k < MAX_SYMBOLS - PREDEFINED_COUNT; ++k) {
    ASSERT_EQ(intern(name), PREDEFINED_COUNT + k) << name;
    std::next_permutation(name.begin(), name.end());
  }
  EXPECT_EQ(static_cast<int>(t.entries.size()), MAX_SYMBOLS);
  name = "ABCDEFGH";
  for (int k = 0; k < MAX_SYMBOLS - PREDEFINED_COUNT; ++k) {
    ASSERT_EQ(find(name), PREDEFINED_COUNT + k) << name;
    std::next_permutation(name.begin(), name.end());
  }
  EXPECT_EQ(intern("ABCDEFGH"), PREDEFINED_COUNT);
  EXPECT_EQ(intern("ONE_TOO_MANY"), SYMTAB_FULL);
  EXPECT_EQ(static_cast<int>(t.entries.size()), MAX_SYMBOLS);
}

TEST_F(SymtabTest, PredefinedNames) {
  load_predefined(t);
  EXPECT_EQ(static_cast<int>(t.entries.size()), 60);
  for (int i = 0; i < static_cast<int>(t.entries.size()); ++i) EXPECT_EQ(sym_kind(t, i), KIND_PREDEFINED);
  const std::pair<const char*, int> expected[] = {
      {"NOP", 0}, {"LD", 1},   {"ST", 3},   {"MOV", 76}, {"JMP", 6},   {"JAL", 7},   {"RET", 50},
      {"JT", 8},  {"JF", 9},   {"ADD", 32}, {"SUB", 33}, {"MUL", 34},  {"DIV", 35},  {"AND", 36},
      {"OR", 37}, {"XOR", 38}, {"EQ", 39},  {"NE", 40},  {"LT", 41},   {"LE", 42},   {"GT", 43},
      {"GE", 44}, {"SHL", 45}, {"SHR", 46}, {"MOD", 47}, {"TRAP", 51}, {"PUSH", 52}, {"POP", 53}};
  for (auto [name, value] : expected) EXPECT_EQ(sym_value(t, find(name)), value) << name;
  for (int n = 0; n < 32; ++n) {
    EXPECT_EQ(sym_value(t, find("R" + std::to_string(n))), n);
  }
  EXPECT_EQ(find("R32"), -1);
}

}  // namespace
}  // namespace vorn
