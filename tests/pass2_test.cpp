#include <gtest/gtest.h>

#include <array>
#include <string>
#include <utility>

#include "assembler/assembler.h"

namespace vorn {
namespace {

struct Outcome {
  std::string output;
  std::string object;
};

Outcome run(const std::string& source) {
  RunResult r = assemble_text(source, "t.obj");
  EXPECT_EQ(r.ok, r.output.empty()) << source;
  return {r.output, r.object};
}

TEST(Pass2, TheExampleProgram) {
  Outcome o =
      run(".SYMBOL N 10\n.CODE 0\n:LOOP ADD R1 R1 #1\n      JMP LOOP\n.DATA 10\n      5 N\n.END\n");
  EXPECT_EQ(o.object,
            "var obj =[  // t.obj\n0, 2,\n10, 1, 1, 1,\n9, 0, 0, 0,\n10, 2,\n5, \n10, \n0];\n");
}

TEST(Pass2, ForwardReferencesAndDataNamesResolve) {
  Outcome o =
      run(".SYMBOL K -4 .CODE 0\nJMP END\nLD R1 @K R2\nMOV R3 #END\nTRAP R0 #END\n:END RET R31\n"
          ".DATA -1 END R5 ADD K 2147483647 -2147483647 .END");
  EXPECT_EQ(o.output, "");
  EXPECT_EQ(o.object,
            "var obj =[  // t.obj\n0, 5,\n9, 0, 0, 4,\n2, 1, 2, -4,\n15, 3, 0, 4,\n51, 0, 0, 4,\n"
            "50, 31, 0, 0,\n-1, 6,\n4, \n5, \n32, \n-4, \n2147483647, \n-2147483647, \n0];\n");
  // :LBL is a name item without a value: the run stops at it.
  EXPECT_EQ(run(".SYMBOL .CODE 0 .DATA 0 1 :lbl .END").output, "error: undefined symbol\n");
}

TEST(Pass2, EmptySections) {
  EXPECT_EQ(run(".SYMBOL .CODE 0 .DATA 0 .END").object,
            "var obj =[  // t.obj\n0, 0,\n0, 0,\n0];\n");
  EXPECT_EQ(run(".SYMBOL .CODE -5 .DATA 7 .END").object,
            "var obj =[  // t.obj\n-5, -5,\n7, 0,\n0];\n");
}

TEST(Pass2, Errors) {
  EXPECT_EQ(run(".SYMBOL .CODE 0 JMP LATER .DATA 0 .END").output, "LATER error: undefine symbol\n");
  EXPECT_EQ(run(".SYMBOL .CODE 0 LD R1 #5 .DATA 0 .END").output, "#5 error: undefine symbol\n");
  EXPECT_EQ(run(".SYMBOL .CODE 1 RET R1 .DATA 0 .END").output, "error: undefine op\n");
  EXPECT_EQ(run(".SYMBOL .CODE 5000 .DATA 0 .END").output, "error: undefine op\n");
  EXPECT_EQ(run(".SYMBOL .CODE 2147483647 .DATA 0 .END").output, "error: undefine op\n");
  EXPECT_EQ(run(".SYMBOL .CODE 0 .DATA 0 1 NEVER .END").output, "error: undefined symbol\n");
  EXPECT_EQ(run(".SYMBOL .CODE 0 .DATA 0 -2147483648 .END").output, "error: undefined symbol\n");
}

// Catches a listing that ties a word to the wrong line (an operand's line for the
// instruction's, a data word shifted by the section head), mixes up labels and constants, or
// marks a pass-two error on the wrong line; and a listing that changes the object.
TEST(Listing, RowsSymbolsAndTheLineOfAnError) {
  const std::string source =
      ".SYMBOL N 10 M\n 3\n.CODE 0\n:LOOP ADD R1\n R1 #N\n      JMP LOOP\n.DATA 10\n 5\n N\n.END\n";
  RunResult r = assemble_text(source, "t.obj", true);
  ASSERT_TRUE(r.ok) << r.output;
  EXPECT_EQ(r.object, assemble_text(source, "t.obj").object);
  ASSERT_EQ(r.listing.code.size(), 2u);
  EXPECT_EQ(r.listing.code[0].line, 4);
  EXPECT_EQ(r.listing.code[0].words, (std::array<std::int32_t, 4>{10, 1, 1, 10}));
  EXPECT_EQ(r.listing.code[1].line, 6);
  ASSERT_EQ(r.listing.data.size(), 2u);
  EXPECT_EQ(r.listing.data[0].address, 10);
  EXPECT_EQ(r.listing.data[0].line, 8);
  EXPECT_EQ(r.listing.data[1].value, 10);
  EXPECT_EQ(r.listing.data[1].line, 9);
  ASSERT_EQ(r.listing.symbols.size(), 3u);
  const SymbolRow& m = r.listing.symbols[1];
  EXPECT_EQ(m.name, "M");
  EXPECT_FALSE(m.label);
  EXPECT_EQ(m.value, 3);
  EXPECT_EQ(m.line, 1);
  const SymbolRow& loop = r.listing.symbols[2];
  EXPECT_EQ(loop.name, "LOOP");
  EXPECT_TRUE(loop.label);
  EXPECT_EQ(loop.line, 4);

  // Every place a name of the program stands, definitions and uses, in the order of the
  // source; registers and mnemonics are not names of the program. Also up to an error.
  const auto uses = [](const char* text) {
    std::string out;
    for (const NameUse& u : assemble_text(text, "t.obj", true).listing.uses) {
      out += u.name + "@" + std::to_string(u.place.line) + ":" + std::to_string(u.place.column) +
             "+" + std::to_string(u.place.length) + (u.definition ? "D " : " ");
    }
    return out;
  };
  EXPECT_EQ(uses(".SYMBOL N 10\n.CODE 0\n JMP L\n:L ADD R1 R1 #N\n.DATA 0 N L ADD .END\n"),
            "N@1:8+1D L@3:5+1 L@4:1+1D N@4:14+1 N@5:8+1 L@5:10+1 ");
  EXPECT_EQ(uses(".SYMBOL\n.CODE 0\nLD R1 @T R2\nADD R1 R2 X\n"), "T@3:7+1 X@4:10+1 ");
  // The token each diagnostic names: line, first byte and length.
  const std::pair<const char*, Place> errors[] = {
      {".SYMBOL\n.CODE 0\nRET R1\nJMP\n NOWHERE\n.DATA 0\n.END\n", {5, 1, 7}},  // undefine symbol
      {".SYMBOL\n.CODE 0\nLD R1 @LATE R2\n.DATA 0\n.END\n", {3, 7, 4}},        // the name after "@"
      {".SYMBOL\n.CODE 0\nRET R1\n.DATA 0\n1\n  NOWHERE\n.END\n", {6, 2, 7}},  // undefined symbol
      {".SYMBOL\n.CODE  17\nRET R1\n.DATA 0\n.END\n", {2, 7, 2}},  // undefine op: the origin
      {".SYMBOL\n.CODE 0\nRET\n#1\n.DATA 0\n.END\n", {4, 0, 2}},   // pass one
      {"\xEF\xBB\xBF.SYMBOL X Y\n", {1, 13, 1}},                   // a mark counts on line 1
      {".SYMBOL\n.CODE 0\n  ; the end\n", {3, 0, 0}},              // the end: the line
  };
  for (const auto& [text, place] : errors) {
    RunResult e = assemble_text(text, "t.obj", true);
    EXPECT_FALSE(e.ok) << text;
    EXPECT_EQ(e.listing.error.line, place.line) << text;
    EXPECT_EQ(e.listing.error.column, place.column) << text;
    EXPECT_EQ(e.listing.error.length, place.length) << text;
    EXPECT_TRUE(e.listing.code.empty()) << text;
  }
}

}  // namespace
}  // namespace vorn
