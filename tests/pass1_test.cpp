#include <gtest/gtest.h>

#include <string>

#include "test_support.h"

namespace vorn {
namespace {

using support::repeat;
using test::pass1;
using test::program;

struct Encoding {
  const char* source;
  CodeWord word;
};

void expect_encodings(const std::string& symbols, std::initializer_list<Encoding> cases) {
  for (const Encoding& c : cases) {
    auto run = pass1(".SYMBOL " + symbols + "\n.CODE 0\n" + c.source + "\n.DATA 0\n.END\n");
    ASSERT_EQ(run->error, "") << c.source;
    const CodeWord& w = run->word(0);
    EXPECT_EQ((std::array{w.op, w.a, w.b, w.c}),
              (std::array{c.word.op, c.word.a, c.word.b, c.word.c}))
        << c.source;
    EXPECT_EQ(run->as->code_loc, 1) << c.source;
  }
}

TEST(Encode, ArithmeticRegisterAndImmediateForms) {
  const char* names[] = {"ADD", "SUB", "MUL", "DIV", "AND", "OR",  "XOR", "EQ",
                         "NE",  "LT",  "LE",  "GT",  "GE",  "SHL", "SHR", "MOD"};
  for (int k = 0; k < 16; ++k) {
    std::string reg = std::string(names[k]) + " R1 R2 R3";
    std::string imm = std::string(names[k]) + " r4 r5 #-7";
    expect_encodings("", {{reg.c_str(), {32 + k, 1, 2, 3}}, {imm.c_str(), {10 + k, 4, 5, -7}}});
  }
}

TEST(Encode, EveryOtherForm) {
  expect_encodings(
      "SP 31 K 9",
      {
          {"LD R1 100", {1, 1, 0, 100}},
          {"LD R1 @8 R2", {2, 1, 2, 8}},
          {"LD R1 +K R2", {48, 1, 9, 2}},
          {"ST R3 K", {3, 3, 0, 9}},
          {"ST R3 @K R4", {4, 3, 4, 9}},
          {"ST R3 +8 R4", {49, 3, 8, 4}},
          {"MOV R1 R2", {76, 1, 0, 2}},
          {"MOV R1 #5", {54, 1, 0, 5}},
          {"MOV R1 #", {54, 1, 0, 0}},
          {"JMP 12", {6, 0, 0, 12}},
          {"JAL R31 12", {7, 31, 0, 12}},
          {"JT R2 K", {8, 2, 0, 9}},
          {"JF R2 -3", {9, 2, 0, -3}},
          {"RET R31", {50, 31, 0, 0}},
          {"TRAP R0 #5", {51, 0, 0, 5}},
          {"PUSH R14 R3", {52, 14, 3, 0}},
          {"POP SP R1", {53, 31, 1, 0}},
          {"LD R1 @ R2", {2, 1, 2, 0}},
          // Register names act as mnemonics by their number, mnemonics as values by theirs.
          {"R1 R2 5", {1, 2, 0, 5}},
          {"R3 R2 5", {3, 2, 0, 5}},
          {"R6 7", {6, 0, 0, 7}},
          {"R9 R1 7", {9, 1, 0, 7}},
          {"ADD ADD R1 R2", {32, 32, 1, 2}},
      });
}

TEST(Encode, ForwardReferencesBecomeFixups) {
  auto run = pass1(program("JMP LATER\nLD R1 @X R2\nJT R1 LATER\nADD R1 R2 #X\n:LATER", "X"));
  ASSERT_EQ(run->error, "");
  const Assembly& as = *run->as;
  int later = test::find(as.symtab, "LATER");
  int x = test::find(as.symtab, "X");
  ASSERT_EQ(as.fixups.size(), 4u);
  const std::pair<int, int> expected[] = {{0, later}, {1, x}, {2, later}, {3, x}};
  for (int k = 0; k < 4; ++k) {
    EXPECT_EQ(as.fixups[static_cast<std::size_t>(k)].address, expected[k].first);
    EXPECT_EQ(as.fixups[static_cast<std::size_t>(k)].symbol, expected[k].second);
    EXPECT_EQ(run->word(expected[k].first).c, expected[k].second);  // the index until pass two
  }
  EXPECT_EQ(run->word(1).op, 2);
  EXPECT_EQ(run->word(1).b, 2);
  EXPECT_EQ(run->word(3).op, 10);
  EXPECT_EQ(sym_value(as.symtab, later), 4);  // a label before .DATA takes the code end
}

TEST(Pass1, ItemsAndLabels) {
  auto run = pass1(
      ".symbol N 10 ; comment\n.code 5\n:A :B ret r1\n.data 100\n7 N :X .CODE\n.end "
      "junk after the end");
  ASSERT_EQ(run->error, "");
  const Assembly& as = *run->as;
  EXPECT_EQ(sym_value(as.symtab, test::find(as.symtab, "A")), 5);
  EXPECT_EQ(sym_value(as.symtab, test::find(as.symtab, "B")), 5);
  EXPECT_EQ(as.code_loc, 6);
  EXPECT_EQ(as.data_loc, 104);
  ASSERT_EQ(as.items.size(), 7u);
  const std::pair<Kind, std::int32_t> items[] = {{KIND_CODE, 5},
                                                 {KIND_DATA, 100},
                                                 {KIND_NUMBER, 7},
                                                 {KIND_NAME, test::find(as.symtab, "N")},
                                                 {KIND_NAME, test::find(as.symtab, ":X")},
                                                 {KIND_NAME, test::find(as.symtab, ".CODE")},
                                                 {KIND_END, 104}};
  for (int k = 0; k < 7; ++k) {
    EXPECT_EQ(as.items[static_cast<std::size_t>(k)].kind, items[k].first) << k;
    EXPECT_EQ(as.items[static_cast<std::size_t>(k)].value, items[k].second) << k;
  }
}

// Each error: the whole diagnostic, naming the line, the token taken last and the line as written.
TEST(Pass1, EveryMessage) {
  const std::pair<const char*, const char*> cases[] = {
      {"", "line 0 error: unexpected end of file symbol \n"},
      {"; only a comment\n", "line 1 error: unexpected end of file symbol \n; only a comment\n"},
      {"; a comment\n\n", "line 2 error: unexpected end of file symbol \n\n"},
      {".SYMBOL .CODE 0 RET",
       "line 1 error: unexpected end of file symbol RET\n.SYMBOL .CODE 0 RET\n"},
      {".code 0", "line 1 error: expect .symbol symbol .CODE\n.code 0\n"},
      {".SYMBOL\nx 1\nX 2\n", "line 3 error: duplicate symbol symbol X\nX 2\n"},
      {".SYMBOL add 1", "line 1 error: duplicate symbol symbol ADD\n.SYMBOL add 1\n"},
      {".SYMBOL x y", "line 1 error: expect number symbol Y\n.SYMBOL x y\n"},
      {".SYMBOL x 3000000000",
       "line 1 error: number out of range symbol 3000000000\n.SYMBOL x 3000000000\n"},
      {".SYMBOL .CODE .DATA", "line 1 error: expect number symbol .DATA\n.SYMBOL .CODE .DATA\n"},
      {".SYMBOL\r\n.CODE 0\r\n:L :l\r\n", "line 3 error: duplicate label symbol :L\n:L :l\n"},
      {".SYMBOL .CODE 0\n: RET R1", "line 2 error: expect label symbol :\n: RET R1\n"},
      {".SYMBOL .CODE 0\n:SUB", "line 2 error: duplicate label symbol :SUB\n:SUB\n"},
      {".SYMBOL .CODE 0\nADDD R1", "line 2 error: undefined op symbol ADDD\nADDD R1\n"},
      {".SYMBOL X 1 .CODE 0\nX R1", "line 2 error: undefined op symbol X\nX R1\n"},
      {".SYMBOL .CODE 0\n.END", "line 2 error: undefined op symbol .END\n.END\n"},
      {".SYMBOL .CODE 0\nNOP", "line 2 error: undefine op symbol NOP\nNOP\n"},
      {".SYMBOL .CODE 0\nR2 R1 R1", "line 2 error: undefine op symbol R2\nR2 R1 R1\n"},
      {".SYMBOL .CODE 2000\nRET R1",
       "line 2 error: code address out of range symbol RET\nRET R1\n"},
      {".SYMBOL .CODE -1\nRET R1", "line 2 error: code address out of range symbol RET\nRET R1\n"},
      {".SYMBOL .CODE 0\nRET\n.DATA 0 .END",
       "line 3 error: undefine symbol symbol .DATA\n.DATA 0 .END\n"},
      {".SYMBOL .CODE 0\nRET #1", "line 2 error: expect register symbol #1\nRET #1\n"},
      {".SYMBOL .CODE 0\nPUSH R1 :X", "line 2 error: expect register symbol :X\nPUSH R1 :X\n"},
      {".SYMBOL .CODE 0\nJMP @L", "line 2 error: expect ads symbol @L\nJMP @L\n"},
      {".SYMBOL .CODE 0\nJAL R1 +1", "line 2 error: expect ads symbol +1\nJAL R1 +1\n"},
      {".SYMBOL .CODE 0\nTRAP R0 5", "line 2 error: expect constant symbol 5\nTRAP R0 5\n"},
      {".SYMBOL .CODE 0\nADD R1 R2 LATER",
       "line 2 error: undefine symbol symbol LATER\nADD R1 R2 LATER\n"},
      {".SYMBOL .CODE 0\nADD R1 R2 @3", "line 2 error: undefine symbol symbol @3\nADD R1 R2 @3\n"},
      {".SYMBOL .CODE 0\nADD R1 R2 R40",
       "line 2 error: undefine symbol symbol R40\nADD R1 R2 R40\n"},
      {".SYMBOL .CODE 0\nLD R1 +X R2", "line 2 error: undefine symbol symbol +X\nLD R1 +X R2\n"},
      {".SYMBOL .CODE 0\nLD R1 @X Y", "line 2 error: undefine symbol symbol Y\nLD R1 @X Y\n"},
      {".SYMBOL .CODE 0\nMOV R1 #99999999999",
       "line 2 error: number out of range symbol #99999999999\nMOV R1 #99999999999\n"},
      {".SYMBOL .CODE x", "line 1 error: expect number symbol X\n.SYMBOL .CODE x\n"},
      {".SYMBOL .CODE 0 .DATA -",
       "line 1 error: unexpected end of file symbol -\n.SYMBOL .CODE 0 .DATA -\n"},
      {".SYMBOL .CODE 0 .DATA 0\n1 -2147483649",
       "line 2 error: number out of range symbol -2147483649\n1 -2147483649\n"},
      {".SYMBOL .CODE 0 .DATA 0\n1 2", "line 2 error: unexpected end of file symbol 2\n1 2\n"},
  };
  for (auto [source, diagnostic] : cases) {
    EXPECT_EQ(pass1(source)->error, diagnostic) << source;
  }
}

TEST(Pass1, UndefinedValueLeavesAConstantUndefined) {
  auto run = pass1(".SYMBOL X -2147483648 X 4 .CODE 0 RET X .DATA 0 .END");
  EXPECT_EQ(run->error, "");
  EXPECT_EQ(run->word(0).a, 4);
}

TEST(Limits, DataItems) {
  EXPECT_EQ(pass1(program("", repeat("1\n", 4997)))->error, "");
  EXPECT_EQ(pass1(program("", repeat("1\n", 4998)))->error,
            "line 5003 error: out of memory symbol .END\n.END\n");
}

TEST(Limits, CodeWordsAndFixups) {
  auto full = pass1(program(repeat("JMP L\n", 2000) + ":L"));
  EXPECT_EQ(full->error, "");
  EXPECT_EQ(full->as->fixups.size(), 2000u);
  EXPECT_EQ(pass1(program(repeat("JMP L\n", 2001)))->error,
            "line 2003 error: code address out of range symbol JMP\nJMP L\n");
  // The last instruction meets two forward references; the second is refused.
  EXPECT_EQ(pass1(program(repeat("JMP L\n", 1999) + "LD R1 @X Y\n"))->error,
            "line 2002 error: undefine symbol symbol Y\nLD R1 @X Y\n");
}

}  // namespace
}  // namespace vorn
