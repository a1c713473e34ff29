// The examples in the README and in docs/ are real: each source shown is assembled, and the object file and
// messages shown next to it are compared with what vorn writes and prints.
//
// A fenced block preceded by `<!-- check: source NAME -->` is a source saved as NAME (and, when
// the repository has a file NAME, must equal it); `<!-- check: object NAME -->` is the object
// file of that source, `<!-- check: output NAME -->` what vorn prints for it.
#include <gtest/gtest.h>

#include <map>

#include "assembler/object_path.h"
#include "e2e_support.h"

namespace {

using namespace vorn::e2e;

struct Shown {
  std::string source;
  std::string object;
  std::string output;
  bool has_object = false;
  bool has_output = false;
};

std::map<std::string, Shown> shown_examples(const std::string& readme) {
  std::map<std::string, Shown> examples;
  std::istringstream in(readme);
  std::string line;
  while (std::getline(in, line)) {
    const std::string mark = "<!-- check: ";
    if (line.rfind(mark, 0) != 0) continue;
    std::istringstream words(line.substr(mark.size()));
    std::string kind, name;
    words >> kind >> name;
    std::getline(in, line);  // the opening fence
    std::string block;
    while (std::getline(in, line) && line.rfind("```", 0) != 0) block += line + "\n";
    Shown& s = examples[name];
    if (kind == "source") s.source = block;
    if (kind == "object") s.object = block, s.has_object = true;
    if (kind == "output") s.output = block, s.has_output = true;
  }
  return examples;
}

TEST(Readme, ExamplesAssembleAsShown) {
  const fs::path root = EXAMPLES_DIR "/..";
  std::string pages = read_file(root / "README.md");
  for (const char* page : {"language.md", "object-file.md"}) pages += read_file(root / "docs" / page);
  const auto examples = shown_examples(pages);
  ASSERT_GE(examples.size(), 3u);
  for (const auto& [name, shown] : examples) {
    SCOPED_TRACE(name);
    ASSERT_FALSE(shown.source.empty());
    if (fs::exists(root / name)) {
      EXPECT_EQ(shown.source, read_file(root / name));
    }
    ScratchDir d;
    fs::create_directories((d.path / name).parent_path());
    write_file(d.path / name, shown.source);
    Outcome r = run_vorn(d.path, {name});
    EXPECT_EQ(r.out, native(shown.has_output ? shown.output : ""));
    const fs::path object = d.path / vorn::make_object_path(name);
    EXPECT_EQ(fs::exists(object), shown.has_object);
    if (shown.has_object) {
      EXPECT_EQ(read_file(object), native(shown.object));
    }
  }
}

}  // namespace
