#include "driver/driver.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "assembler/object_path.h"
#include "platform/platform.h"
#include "platform/win32-text.h"
#include "support/files.h"

namespace vorn {
namespace {

namespace fs = std::filesystem;

TEST(ObjectPath, CutAtTheFirstDotOfTheFileName) {
  const std::pair<const char*, const char*> cases[] = {
      {"prog.s", "prog.obj"},
      {"prog", "prog.obj"},
      {"a.b.s", "a.obj"},
      {"./prog.s", "./prog.obj"},
      {"../dir/prog.s", "../dir/prog.obj"},
      {"../dir/prog", "../dir/prog.obj"},
      {"dir.v2/prog", "dir.v2/prog.obj"},
      {"C:\\src.d\\prog.asm", "C:\\src.d\\prog.obj"},
      {"C:prog.s", "C:prog.obj"},
      {"\\\\host\\share\\prog.s", "\\\\host\\share\\prog.obj"},
      {"C:/dir\\sub/prog.s", "C:/dir\\sub/prog.obj"},
      {".hidden", ".obj"},
      {"dir/", "dir/.obj"},
      {"prog.obj", "prog.obj"},
  };
  for (auto [source, object] : cases) EXPECT_EQ(make_object_path(source), object) << source;
}

// Catches a long Windows path handed to the wide API in a form that it limits to 260
// characters, or "normalised" into another file than the one named.
TEST(ObjectPath, ExtendedLengthFormOfWindowsPaths) {
  const std::wstring cwd = L"C:\\work\\src";
  const std::pair<const wchar_t*, const wchar_t*> cases[] = {
      {L"D:\\dir\\p.obj", L"\\\\?\\D:\\dir\\p.obj"},
      {L"d:/dir/./sub/../p.obj", L"\\\\?\\D:\\dir\\p.obj"},
      {L"p.obj", L"\\\\?\\C:\\work\\src\\p.obj"},
      {L"..\\out\\p.obj", L"\\\\?\\C:\\work\\out\\p.obj"},
      {L"c:p.obj", L"\\\\?\\C:\\work\\src\\p.obj"},
      {L"E:p.obj", L"E:p.obj"},  // another drive's current folder is not known
      {L"\\top\\p.obj", L"\\\\?\\C:\\top\\p.obj"},
      {L"\\\\host\\share\\dir\\..\\p.obj", L"\\\\?\\UNC\\host\\share\\p.obj"},
      {L"//host/share/p.obj", L"\\\\?\\UNC\\host\\share\\p.obj"},
      {L"\\\\?\\C:\\a\\..\\p.obj.", L"\\\\?\\C:\\a\\..\\p.obj."},  // already in the form
      {L"C:\\dir\\p.obj. ", L"\\\\?\\C:\\dir\\p.obj"},             // as Windows trims the name
  };
  for (auto [path, extended] : cases) {
    EXPECT_EQ(platform::extended_length_path(path, cwd), extended)
        << platform::utf8_from_wide(path);
  }
  EXPECT_EQ(platform::extended_length_path(L"p.obj", L"\\\\host\\share\\w"),
            L"\\\\?\\UNC\\host\\share\\w\\p.obj");
  EXPECT_EQ(platform::extended_length_path(L"\\p.obj", L"\\\\host\\share\\w"),
            L"\\\\?\\UNC\\host\\share\\p.obj");
}

struct DriverTest : ::testing::Test {
  support::ScratchDir scratch;
  fs::path& dir = scratch.path;

  void put(const std::string& name, const std::string& text) {
    support::write_file(dir / name, text);
  }
  std::string get(const std::string& name) { return support::read_file(dir / name); }
  // Runs the command line on `args` from `dir`; returns the status and what it printed, with
  // LF newlines.
  std::pair<int, std::string> run(std::vector<std::string> args) {
    fs::path old = fs::current_path();
    fs::current_path(dir);
    args.insert(args.begin(), "vorn");
    std::string out;
    int status = run_command_line(args, out);
    fs::current_path(old);
    EXPECT_EQ(out, with_text_newlines(support::lf(out)));
    return {status, support::lf(out)};
  }
  std::vector<std::string> files() {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
};

TEST_F(DriverTest, UsageAndMissingInput) {
  EXPECT_EQ(run({}), (std::pair<int, std::string>{2, "usage : vorn inputfile\n"}));
  EXPECT_EQ(run({"absent.s"}), (std::pair<int, std::string>{1, "input file not found\n"}));
  fs::create_directory(dir / "folder.s");
  EXPECT_EQ(run({"folder.s"}), (std::pair<int, std::string>{1, "input file not found\n"}));
}

TEST_F(DriverTest, AssemblesTheFirstArgumentOnly) {
  put("p.s", ".SYMBOL .CODE 0 RET R1 .DATA 0 .END");
  EXPECT_EQ(run({"p.s", "other.s"}), (std::pair<int, std::string>{0, ""}));
  EXPECT_EQ(get("p.obj"),
            with_text_newlines("var obj =[  // p.obj\n0, 1,\n50, 1, 0, 0,\n0, 0,\n0];\n"));
  EXPECT_EQ(files(), (std::vector<std::string>{"p.obj", "p.s"}));
}

TEST_F(DriverTest, FailedRunKeepsTheEarlierObject) {
  put("p.s", ".SYMBOL .CODE 0 JMP NOWHERE .DATA 0 .END");
  put("p.obj", "earlier\n");
  EXPECT_EQ(run({"p.s"}), (std::pair<int, std::string>{1, "NOWHERE error: undefine symbol\n"}));
  EXPECT_EQ(get("p.obj"), "earlier\n");
  put("p.s", ".SYMBOL .CODE 0 JUMP");
  EXPECT_EQ(run({"p.s"}).first, 1);
  EXPECT_EQ(get("p.obj"), "earlier\n");
  EXPECT_EQ(files(), (std::vector<std::string>{"p.obj", "p.s"}));
}

TEST_F(DriverTest, RefusesToReplaceTheSource) {
  put("prog.obj", ".SYMBOL .CODE 0 .DATA 0 .END");
  EXPECT_EQ(run({"prog.obj"}),
            (std::pair<int, std::string>{1, "object file would replace source\n"}));
  put("q.s", ".SYMBOL .CODE 0 .DATA 0 .END");
#ifdef _WIN32
  GTEST_SKIP() << "symbolic links need a privilege on Windows";
#endif
  fs::create_symlink("q.s", dir / "q.obj");
  EXPECT_EQ(run({"q.s"}), (std::pair<int, std::string>{1, "object file would replace source\n"}));
  EXPECT_EQ(get("q.s"), ".SYMBOL .CODE 0 .DATA 0 .END");
  fs::create_hard_link(dir / "q.s", dir / "h");
  EXPECT_EQ(run({"h"}).first, 0);  // h.obj is a new file
  EXPECT_EQ(get("q.s"), ".SYMBOL .CODE 0 .DATA 0 .END");
}

TEST_F(DriverTest, ObjectThatCannotBeWritten) {
  put("p.s", ".SYMBOL .CODE 0 .DATA 0 .END");
  fs::create_directory(dir / "p.obj");
  put("p.obj/inside", "x");
  EXPECT_EQ(run({"p.s"}), (std::pair<int, std::string>{1, "error: cannot write object file\n"}));
  EXPECT_EQ(files(), (std::vector<std::string>{"p.obj", "p.s"}));
  EXPECT_FALSE(platform::write_object((dir / "missing" / "x.obj").string(), "text"));
}

}  // namespace
}  // namespace vorn
