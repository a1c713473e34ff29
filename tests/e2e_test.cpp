// End-to-end tests: run the real vorn executable on the source files in the cases folder and
// compare what it prints, its exit status and the files it leaves, byte for byte.
//
// A case NAME has NAME.s, and optionally NAME.out (expected standard output, else empty),
// NAME.status (expected exit status, else 0), NAME.obj (the expected object file; without it
// no object file may exist after the run). Every case runs a second time over an earlier object
// file, which a successful run replaces and a failing one leaves unchanged. Texts are compared
// as vorn writes them on the platform: on Windows every newline is CR LF.
#include <gtest/gtest.h>

#include "e2e_support.h"

namespace {

using namespace vorn::e2e;
namespace fs = std::filesystem;

std::vector<std::string> case_names() {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(CASES_DIR)) {
    if (e.path().extension() == ".s") names.push_back(e.path().stem().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// Copies case `name`'s source into `scratch`, optionally over an earlier object file, and
// assembles it there.
Outcome run_case(const ScratchDir& scratch, const std::string& name,
                 const std::string* earlier_object = nullptr) {
  fs::copy_file(fs::path(CASES_DIR) / (name + ".s"), scratch.path / (name + ".s"));
  if (earlier_object != nullptr) write_file(scratch.path / (name + ".obj"), *earlier_object);
  return run_vorn(scratch.path, {name + ".s"});
}

class Case : public ::testing::TestWithParam<std::string> {};

TEST_P(Case, MatchesExpectedFiles) {
  const fs::path cases = CASES_DIR;
  const std::string name = GetParam();
  ScratchDir scratch;
  Outcome r = run_case(scratch, name);

  auto expected = [&](const char* ext, const std::string& otherwise) {
    fs::path p = cases / (name + ext);
    return fs::exists(p) ? read_file(p) : otherwise;
  };
  EXPECT_EQ(r.out, native(expected(".out", "")));
  EXPECT_EQ(std::to_string(r.status) + "\n", expected(".status", "0\n"));
  bool want_object = fs::exists(cases / (name + ".obj"));
  ASSERT_EQ(fs::exists(scratch.path / (name + ".obj")), want_object);
  if (want_object) {
    EXPECT_EQ(read_file(scratch.path / (name + ".obj")),
              native(read_file(cases / (name + ".obj"))));
  }
  // Nothing else is left behind: no temporary files.
  std::vector<std::string> left = sorted_files(scratch.path);
  std::vector<std::string> allowed{name + ".s"};
  if (want_object) allowed.insert(allowed.begin(), name + ".obj");
  std::sort(allowed.begin(), allowed.end());
  EXPECT_EQ(left, allowed);
}

// Catches a run that cannot replace an object left by an earlier run (a rename that refuses an
// existing target), and a failed run that touches it.
TEST_P(Case, ReplacesOrKeepsAnEarlierObject) {
  const std::string name = GetParam();
  const fs::path expected = fs::path(CASES_DIR) / (name + ".obj");
  ScratchDir scratch;
  const std::string earlier = "var obj =[  // an earlier run\n0, 0,\n0, 0,\n0];\n";
  Outcome r = run_case(scratch, name, &earlier);
  EXPECT_EQ(read_file(scratch.path / (name + ".obj")),
            fs::exists(expected) ? native(read_file(expected)) : earlier);
  EXPECT_EQ(r.status == 0, fs::exists(expected));
  EXPECT_EQ(sorted_files(scratch.path).size(), 2u);
}

INSTANTIATE_TEST_SUITE_P(Cases, Case, ::testing::ValuesIn(case_names()),
                         [](const auto& info) { return info.param; });

const char* const SMALL = ".SYMBOL .CODE 0 RET R1 .DATA 0 1 2 .END\n";

TEST(ObjectPaths, RelativePathsFromAnotherFolder) {
  ScratchDir d;
  fs::create_directories(d.path / "src");
  fs::create_directories(d.path / "work");
  write_file(d.path / "src" / "p.s", SMALL);
  Outcome up = run_vorn(d.path / "work", {"../src/p.s"});
  EXPECT_EQ(up.status, 0);
  const std::string body = native("0, 1,\n50, 1, 0, 0,\n0, 2,\n1, \n2, \n0];\n");
  EXPECT_EQ(read_file(d.path / "src" / "p.obj"), native("var obj =[  // ../src/p.obj\n") + body);
  fs::remove(d.path / "src" / "p.obj");
  Outcome here = run_vorn(d.path / "src", {"./p.s"});
  EXPECT_EQ(here.status, 0);
  EXPECT_EQ(read_file(d.path / "src" / "p.obj"), native("var obj =[  // ./p.obj\n") + body);
  write_file(d.path / "src" / "noext", SMALL);
  EXPECT_EQ(run_vorn(d.path, {"src/noext"}).status, 0);
  EXPECT_TRUE(fs::exists(d.path / "src" / "noext.obj"));
  EXPECT_EQ(sorted_files(d.path), (std::vector<std::string>{"src", "src/noext", "src/noext.obj",
                                                            "src/p.obj", "src/p.s", "work"}));
}

// Catches a path taken in the ANSI code page (Windows) or mangled on its way to the header.
TEST(ObjectPaths, NonAsciiNamesAssembleWithUtf8Headers) {
  ScratchDir d;
  for (const std::u8string name : {u8"\u03a9mega", u8"\u65e5\u672c"}) {
    const std::string utf8(name.begin(), name.end());
    write_file(d.path / fs::path(name + u8".s"), SMALL);
    EXPECT_EQ(run_vorn(d.path, {utf8 + ".s"}).status, 0) << utf8;
    const std::string header = native("var obj =[  // " + utf8 + ".obj\n");
    EXPECT_EQ(read_file(d.path / fs::path(name + u8".obj")).substr(0, header.size()), header);
  }
}

TEST(ObjectFile, FileSizeLimitFailsCleanlyAndKeepsTheEarlierObject) {
  if (ON_WINDOWS) GTEST_SKIP() << "Windows has no file-size limit";
  ScratchDir d;
  std::string source = ".SYMBOL .CODE 0\n";
  for (int k = 0; k < 200; ++k) source += "ADD R1 R2 R3\n";
  source += ".DATA 0 .END\n";
  write_file(d.path / "big.s", source);
  write_file(d.path / "big.obj", "earlier\n");
  vorn::platform::SpawnOptions limited;
  limited.file_size_limit = 512;
  Outcome r = run_vorn(d.path, {"big.s"}, limited);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "error: cannot write object file\n");
  EXPECT_EQ(read_file(d.path / "big.obj"), "earlier\n");
  EXPECT_EQ(sorted_files(d.path), (std::vector<std::string>{"big.obj", "big.s"}));
}

// The object file is a script statement: evaluated, `obj` is the promised array of integers.
TEST(ObjectFile, EvaluatesAsAnArrayOfIntegers) {
  if (ON_WINDOWS) GTEST_SKIP() << "node runs on the build machine, not under Wine";
  if (system("node --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "node is not installed";
  const char* check = R"(
const fs = require('fs');
let bad = 0;
for (const f of process.argv.slice(2)) {
  const obj = new Function(fs.readFileSync(f, 'utf8') + '\nreturn obj;')();
  const ints = Array.isArray(obj) && obj.every(v => Number.isInteger(v) && v >= -2147483648 && v <= 2147483647);
  const code = Math.max(0, obj[1]);
  const count = obj[2 + 4 * code + 1];
  const ok = ints && obj.length === 2 + 4 * code + 2 + count + 1 && obj[obj.length - 1] === 0;
  if (!ok) { console.log('bad object file: ' + f); bad++; }
}
process.exit(bad ? 1 : 0);
)";
  ScratchDir d;
  write_file(d.path / "check.js", check);
  std::vector<std::string> args{"check.js"};
  for (const auto& e : fs::directory_iterator(CASES_DIR)) {
    if (e.path().extension() == ".obj") args.push_back(e.path().string());
  }
  ASSERT_GT(args.size(), 3u);
  args.insert(args.begin(), "node");
  vorn::platform::SpawnOptions in_scratch;
  in_scratch.cwd = d.path.string();
  vorn::platform::SpawnResult r = vorn::platform::spawn("/usr/bin/env", args, in_scratch);
  EXPECT_EQ(r.status, 0) << r.out;
}

}  // namespace

namespace {

// Every program in the examples folder assembles cleanly into its expected object file.
TEST(Examples, AssembleCleanly) {
  int seen = 0;
  for (const auto& e : fs::directory_iterator(EXAMPLES_DIR)) {
    if (e.path().extension() != ".s") continue;
    ++seen;
    const std::string name = e.path().stem().string();
    ScratchDir d;
    fs::copy_file(e.path(), d.path / (name + ".s"));
    Outcome r = run_vorn(d.path, {name + ".s"});
    EXPECT_EQ(r.status, 0) << name;
    EXPECT_EQ(r.out, "") << name;
    EXPECT_EQ(read_file(d.path / (name + ".obj")),
              native(read_file(fs::path(EXAMPLE_OBJECTS_DIR) / (name + ".obj"))))
        << name;
  }
  EXPECT_GE(seen, 4);
}

}  // namespace
