// Hostile inputs, run end to end: each either assembles or ends with its one diagnostic and
// exit status 1, leaving no object file (and no temporary file) behind.
#include <gtest/gtest.h>

#include "e2e_support.h"

namespace {

using namespace vorn::e2e;

struct Result {
  int status;
  std::string out;
  std::string object;  // empty when no object file was written
};

// Assembles `source` as h.s in a scratch folder and checks the folder afterwards.
Result assemble(const std::string& source) {
  ScratchDir d;
  write_file(d.path / "h.s", source);
  Outcome r = run_vorn(d.path, {"h.s"});
  Result res{r.status, lf(r.out), ""};
  EXPECT_EQ(native(res.out), r.out);
  bool has_object = fs::exists(d.path / "h.obj");
  EXPECT_EQ(has_object, r.status == 0);
  if (has_object) {
    const std::string object = read_file(d.path / "h.obj");
    res.object = lf(object);
    EXPECT_EQ(native(res.object), object);
  }
  EXPECT_EQ(sorted_files(d.path).size(), has_object ? 2u : 1u);
  return res;
}

void expect_error(const std::string& source, const std::string& diagnostic) {
  Result r = assemble(source);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, diagnostic);
}

const std::string MB(1 << 20, ' ');

TEST(Hostile, MegabyteLine) {
  Result ok = assemble(".SYMBOL .CODE 0 RET R1 .DATA 0 1 2" + MB + ".END" + MB + "; tail");
  EXPECT_EQ(ok.status, 0);
  EXPECT_EQ(ok.object, "var obj =[  // h.obj\n0, 1,\n50, 1, 0, 0,\n0, 2,\n1, \n2, \n0];\n");
  std::string line = ".SYMBOL .CODE 0" + MB + "BAD R1";
  expect_error(line + "\n", "line 1 error: undefined op symbol BAD\n" + line + "\n");
}

TEST(Hostile, MegabyteTokenAsLabelAndTarget) {
  const std::string name(1 << 20, 'L');
  Result ok = assemble(".SYMBOL .CODE 0\nJMP " + name + "\n:" + name + " RET R1\n.DATA 0 " + name +
                       "\n.END\n");
  EXPECT_EQ(ok.status, 0);
  EXPECT_EQ(ok.object, "var obj =[  // h.obj\n0, 2,\n9, 0, 0, 1,\n50, 1, 0, 0,\n0, 1,\n1, \n0];\n");
  expect_error(".SYMBOL .CODE 0 JMP " + name + " .DATA 0 .END", name + " error: undefine symbol\n");
}

// Catches a line buffer that grows past the memory there is without saying so, or dies: an
// endless line ends with "out of memory" where memory is limited. And an abort or a crash where
// memory runs out before or around the assembly (the arguments, the tables, the runtime's own
// reserve): each run then assembles, or says "out of memory", or was never started (127: the
// system's loader found no room for the program).
TEST(Hostile, MemoryRunningOut) {
  if (ON_WINDOWS) GTEST_SKIP() << "no endless file to read, no address-space limit";
#if defined(VORN_SANITIZED)
  GTEST_SKIP() << "the sanitizers need more address space than the limit leaves";
#endif
  if (testing_another_command())
    GTEST_SKIP() << "Node.js reserves more address space than the limit";
  vorn::platform::SpawnOptions limited;
  limited.memory_limit = std::uint64_t{1} << 30;
  ScratchDir d;
  Outcome r = run_vorn(d.path, {"/dev/zero"}, limited);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "error: out of memory\n");
  write_file(d.path / "h.s", ".SYMBOL .CODE 0 RET R1 .DATA 0 .END\n");
  for (limited.memory_limit = 2'000'000; limited.memory_limit <= 4'000'000;
       limited.memory_limit += 100'000) {
    r = run_vorn(d.path, {"h.s"}, limited);
    EXPECT_TRUE(r.status == 0 || r.status == 127 ||
                (r.status == 1 && r.out == "error: out of memory\n"))
        << limited.memory_limit << ": status " << r.status << ", " << r.out;
  }
}

// Catches a command that cannot start under a memory limit and says so in 92 KB of its own
// source: the package's command, whose Node.js needs more address space than 2 GB, says it in
// one line; the native command assembles.
TEST(Hostile, CommandUnderAMemoryLimit) {
  if (ON_WINDOWS) GTEST_SKIP() << "no address-space limit";
#if defined(VORN_SANITIZED)
  GTEST_SKIP() << "the sanitizers need more address space than the limit leaves";
#endif
  ScratchDir d;
  write_file(d.path / "h.s", ".SYMBOL .CODE 0 RET R1 .DATA 0 .END\n");
  vorn::platform::SpawnOptions limited;
  limited.memory_limit = std::uint64_t{2} << 30;
  limited.cwd = d.path.string();
  const auto r = vorn::platform::spawn(program_under_test(), {"h.s"}, limited);
  EXPECT_EQ(r.status, testing_another_command() ? 1 : 0);
  EXPECT_EQ(r.err, testing_another_command() ? "vorn: Node.js cannot start under this memory "
                                               "limit; use the native command\n"
                                             : "");
}

TEST(Hostile, MillionBlankLines) {
  std::string blanks = repeat("\n", 1000000);
  expect_error(blanks + ".SYMBOL .CODE 0\n\t \r\nBAD\n",
               "line 1000003 error: undefined op symbol BAD\nBAD\n");
  EXPECT_EQ(assemble(repeat(" \t\n;\n  ; x\n", 300000) + ".SYMBOL .CODE 0 .DATA 0 .END").status, 0);
}

TEST(Hostile, NulAndHighBytes) {
  const std::string nul("A\0B", 3);
  using namespace std::string_literals;
  Result ok = assemble(".SYMBOL "s + nul + " 5 \xff\xfe 7 .CODE 0\n:\xe9t RET "s + nul +
                       " ; \0 comment \xff\nJMP \xe9t .DATA 0 \xff\xfe "s + nul + " \xe9t .END"s);
  EXPECT_EQ(ok.status, 0);
  EXPECT_EQ(ok.object,
            "var obj =[  // h.obj\n0, 2,\n50, 5, 0, 0,\n9, 0, 0, 0,\n0, 3,\n7, \n5, \n0, \n0];\n");
  expect_error(".SYMBOL .CODE 0\n" + nul + " R1\n",
               "line 2 error: undefined op symbol " + nul + "\n" + nul + " R1\n");
}

TEST(Hostile, InputEndingAnywhere) {
  const std::pair<std::string, std::string> cases[] = {
      {".SYMBOL", ".SYMBOL"},
      {".SYMBOL X", "X"},
      {".SYMBOL .CODE", ".CODE"},
      {".SYMBOL .CODE 0", "0"},
      {".SYMBOL .CODE 0 .DATA", ".DATA"},
      {".SYMBOL .CODE 0 .DATA 0", "0"},
      {".SYMBOL .CODE 0 .DATA 0 12", "12"},
      {".SYMBOL .CODE 0 RET R1 ; a comment to the end", "R1"},
      {".SYMBOL .CODE 0 MOV R1 #", "#"},
      {".SYMBOL .CODE 0 LD R1 @", "@"},
      {".SYMBOL .CODE 0 LD R1 +", "+"},
      {".SYMBOL .CODE 0 ADD R1 R2", "R2"},
      {".SYMBOL .CODE 0 :LAB", ":LAB"},
  };
  for (const auto& [source, token] : cases) {
    expect_error(source,
                 "line 1 error: unexpected end of file symbol " + token + "\n" + source + "\n");
  }
  EXPECT_EQ(assemble(".SYMBOL .CODE 0 .DATA 0 .END").status, 0);
}

TEST(Hostile, TablesToCapacityAndOnePast) {
  auto symbols = [](int n) {
    std::string s = ".SYMBOL\n";
    for (int k = 0; k < n; ++k) s += "N" + std::to_string(k) + " " + std::to_string(k) + "\n";
    return s + ".CODE 0 .DATA 0 .END\n";
  };
  EXPECT_EQ(assemble(symbols(3899)).status, 0);
  expect_error(
      symbols(3900),
      "line 3901 error: too many symbols, increase table size\n symbol N3899\nN3899 3899\n");

  auto code = [](int n, const std::string& last) {
    return ".SYMBOL .CODE 0\n" + repeat("JMP L\n", n) + last + ":L .DATA 0 .END\n";
  };
  Result full = assemble(code(2000, ""));
  EXPECT_EQ(full.status, 0);
  EXPECT_NE(full.object.find("\n0, 2000,\n9, 0, 0, 2000,\n"), std::string::npos);
  expect_error(code(2000, "RET R1\n"),
               "line 2002 error: code address out of range symbol RET\nRET R1\n");
  expect_error(code(1999, "LD R1 @L Y\n"),
               "line 2001 error: undefine symbol symbol Y\nLD R1 @L Y\n");

  auto data = [](int n) {
    return ".SYMBOL .CODE 0 .DATA 0\n" + repeat("-1 R31\n", n / 2) + repeat("0\n", n % 2) + ".END";
  };
  Result items = assemble(data(4997));
  EXPECT_EQ(items.status, 0);
  EXPECT_NE(items.object.find("\n0, 4997,\n-1, \n31, \n"), std::string::npos);
  expect_error(data(4998), "line 2501 error: out of memory symbol .END\n.END\n");
}

TEST(FileSystem, SourceAndObjectFaults) {
  ScratchDir d;
  fs::create_directory(d.path / "dir.s");
  EXPECT_EQ(run_vorn(d.path, {"dir.s"}).out, native("input file not found\n"));
  write_file(d.path / "p.s", ".SYMBOL .CODE 0 .DATA 0 .END");
  fs::create_directory(d.path / "p.obj");
  Outcome blocked = run_vorn(d.path, {"p.s"});
  EXPECT_EQ(blocked.status, 1);
  EXPECT_EQ(blocked.out, native("error: cannot write object file\n"));
  if (ON_WINDOWS) return;  // symbolic links need a privilege on Windows; see SameFile
  fs::create_symlink("p.s", d.path / "q.obj");
  fs::create_symlink("p.s", d.path / "q");
  Outcome linked = run_vorn(d.path, {"q"});
  EXPECT_EQ(linked.status, 1);
  EXPECT_EQ(linked.out, "object file would replace source\n");
  EXPECT_EQ(read_file(d.path / "p.s"), ".SYMBOL .CODE 0 .DATA 0 .END");
  EXPECT_EQ(sorted_files(d.path),
            (std::vector<std::string>{"dir.s", "p.obj", "p.s", "q", "q.obj"}));
}

}  // namespace

namespace {

// Catches a same-file test that compares names, or file numbers that Windows does not have:
// each other spelling of the source as its own object path is refused, and nothing written.
TEST(FileSystem, ObjectPathThatNamesTheSourceIsRefused) {
  struct Row {
    std::string arg;    // "": the short 8.3 name of the source
    bool hard_link;     // the object path is a hard link of the source
    bool windows_only;  // a spelling that names the same file only where names ignore case
  };
  const Row rows[] = {
      {"prog.obj", false, false}, {"PROG.OBJ", false, true}, {"prog.OBJ", false, true},
      {"prog.obj.", false, true}, {"", false, true},         {"hard.s", true, false},
  };
  const std::string source = ".SYMBOL .CODE 0 RET R1 .DATA 0 .END\n";
  for (const Row& row : rows) {
    if (row.windows_only && !ON_WINDOWS) continue;
    ScratchDir d;
    const char* file = row.hard_link ? "hard.s" : row.arg.empty() ? "a long name.obj" : "prog.obj";
    write_file(d.path / file, source);
    if (row.hard_link) fs::create_hard_link(d.path / "hard.s", d.path / "hard.obj");
    const std::string arg =
        row.arg.empty() ? vorn::platform::short_name_of((d.path / file).string()) : row.arg;
    SCOPED_TRACE(arg);
    ASSERT_FALSE(arg.empty());
    Outcome r = run_vorn(d.path, {arg});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, native("object file would replace source\n"));
    EXPECT_EQ(read_file(d.path / file), source);
    EXPECT_EQ(sorted_files(d.path).size(), row.hard_link ? 2u : 1u);
  }
}

}  // namespace
