#include "symtab/symtab.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

#include "isa/isa.h"
#include "symtab/symtab_internal.h"

namespace vorn {
namespace {

struct SymtabTest : ::testing::Test {
  std::unique_ptr<SymbolTable> table = std::make_unique<SymbolTable>();
  SymbolTable& t = *table;
};

TEST_F(SymtabTest, InternFindSet) {
  int a = sym_intern(t, "ALPHA");
  EXPECT_EQ(sym_intern(t, "ALPHA"), a);
  EXPECT_EQ(t.symbol_count, 1);
  EXPECT_EQ(sym_find(t, "ALPHA"), a);
  EXPECT_EQ(sym_value(t, a), UNDEFINED_VALUE);
  EXPECT_EQ(sym_kind(t, a), KIND_NAME);
  EXPECT_EQ(sym_find(t, "BETA"), -1);
  sym_set(t, a, 42, KIND_NAME);
  EXPECT_EQ(sym_value(t, a), 42);
  EXPECT_EQ(sym_name(t, a), "ALPHA");
  EXPECT_EQ(sym_hash("AB"), ('A' + 'B') % SYMTAB_SIZE);
  EXPECT_EQ(a, sym_hash("ALPHA"));
}

TEST_F(SymtabTest, LongNamesAndHighBytesAreDistinctNames) {
  std::string base(31, 'N');
  int x = sym_intern(t, base + "X");
  int y = sym_intern(t, base + "Y");
  EXPECT_NE(x, y);
  EXPECT_EQ(sym_name(t, x), base + "X");
  std::string huge(100000, '\xff');
  int h = sym_intern(t, huge);
  EXPECT_GE(h, 0);
  EXPECT_LT(h, SYMTAB_SIZE);
  EXPECT_EQ(sym_hash(huge), static_cast<int>(255ull * 100000 % SYMTAB_SIZE));
  EXPECT_EQ(sym_find(t, huge), h);
  std::string with_nul("A\0B", 3);
  EXPECT_NE(sym_intern(t, with_nul), sym_intern(t, "A"));
}

// Names with one home slot fill consecutive slots, wrapping past the last one, and stay apart.
TEST_F(SymtabTest, CollidingNamesProbeLinearlyAndWrap) {
  // The prefix puts the home slot at 7910, so the run of slots wraps to 0.
  const std::string prefix = std::string(29, '\xff') + "'";
  std::string tail = "ABCDEFG";
  std::vector<int> slots;
  do {
    slots.push_back(sym_intern(t, prefix + tail));
  } while (std::next_permutation(tail.begin(), tail.end()) && slots.size() < 3000);
  const int home = sym_hash(prefix + "ABCDEFG");
  ASSERT_EQ(home, 7910);
  for (std::size_t k = 0; k < slots.size(); ++k) {
    ASSERT_EQ(slots[k], static_cast<int>((home + k) % SYMTAB_SIZE));
  }
  tail = "ABCDEFG";
  for (std::size_t k = 0; k < slots.size(); ++k) {
    ASSERT_EQ(sym_find(t, prefix + tail), slots[k]);
    std::next_permutation(tail.begin(), tail.end());
  }
}

// Every name lands in exactly the slot that a plain walk from its home slot gives: the first
// slot holding it, or else the first empty one. Names of a few similar shapes make the runs of
// different home slots run into each other and wrap past the last slot.
TEST_F(SymtabTest, SlotsMatchAPlainLinearProbe) {
  std::vector<std::string> reference(SYMTAB_SIZE);
  auto plain_probe = [&](const std::string& name) {
    int i = sym_hash(name);
    while (!reference[static_cast<std::size_t>(i)].empty() &&
           reference[static_cast<std::size_t>(i)] != name) {
      i = (i + 1) % SYMTAB_SIZE;
    }
    return i;
  };
  std::mt19937 random(12345);
  auto next = [&] { return static_cast<std::uint32_t>(random()); };
  const std::string high = std::string(31, '\xff');  // home slots near the end of the table
  for (int k = 0; k < 200000 && t.symbol_count < MAX_SYMBOLS; ++k) {
    std::string name;
    switch (next() % 4) {
      case 0:
        name = "L" + std::to_string(next() % 3000);
        break;
      case 1:
        name = high + std::to_string(next() % 800);
        break;
      case 2:
        name = std::string(1 + next() % 6, static_cast<char>('A' + next() % 26));
        break;
      default:
        name = "C" + std::to_string(next() % 900) + "X";
        break;
    }
    int expected = plain_probe(name);
    ASSERT_EQ(sym_intern(t, name), expected) << name;
    ASSERT_EQ(sym_find(t, name), expected) << name;
    reference[static_cast<std::size_t>(expected)] = name;
  }
  EXPECT_EQ(t.symbol_count, MAX_SYMBOLS);
  EXPECT_EQ(sym_find(t, "NEVER-SEEN"), -1);
}

TEST_F(SymtabTest, CapacityEndsTheRunOnThe3960thInsertion) {
  load_predefined(t);
  for (int k = 0; k < MAX_SYMBOLS - PREDEFINED_COUNT; ++k) {
    sym_intern(t, "S" + std::to_string(k));
  }
  EXPECT_EQ(t.symbol_count, MAX_SYMBOLS);
  EXPECT_NE(sym_intern(t, "S0"), SYMTAB_FULL);  // present names still resolve
  EXPECT_EQ(sym_intern(t, "ONE_TOO_MANY"), SYMTAB_FULL);
  EXPECT_EQ(t.symbol_count, MAX_SYMBOLS);
}

// Short names are copied into the name store without a test of its room, so the long names
// before them must have left it; under ASan a store grown only for each long name overflows.
TEST_F(SymtabTest, ShortNamesAfterLongOnesStayInTheRoomKept) {
  const int long_names = 1000;  // 59 KB: the short names then pass the first 64 KB
  for (int k = 0; k < long_names; ++k) sym_intern(t, std::string(56, 'L') + std::to_string(k));
  for (int k = long_names; k < MAX_SYMBOLS; ++k) sym_intern(t, "S" + std::to_string(k));
  ASSERT_EQ(t.symbol_count, MAX_SYMBOLS);
  EXPECT_EQ(sym_name(t, sym_find(t, std::string(56, 'L') + "0")), std::string(56, 'L') + "0");
  EXPECT_EQ(sym_name(t, sym_find(t, "S3958")), "S3958");
}

TEST_F(SymtabTest, PredefinedNames) {
  load_predefined(t);
  EXPECT_EQ(t.symbol_count, 60);
  int seen = 0;
  for (int i = 0; i < SYMTAB_SIZE; ++i) {
    if (t.fingerprint[static_cast<std::size_t>(i)] == 0) continue;
    ++seen;
    EXPECT_EQ(sym_kind(t, i), KIND_PREDEFINED);
  }
  EXPECT_EQ(seen, 60);
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
