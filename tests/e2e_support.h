// Helpers of the end-to-end tests: running the real executable and looking at what it left.
#pragma once

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "support/files.h"
#include "support/spawn.h"

namespace vorn::e2e {

namespace fs = std::filesystem;
using namespace vorn::support;

#ifdef _WIN32
constexpr bool ON_WINDOWS = true;
#else
constexpr bool ON_WINDOWS = false;
#endif

struct Outcome {
  int status;
  std::string out;
};

/// The program under test: the vorn just built, or the command that VORN_UNDER_TEST names (the
/// npm package's `vorn`, when the cases run a second time through it).
inline std::string program_under_test() {
  const char* other = std::getenv("VORN_UNDER_TEST");
  return other != nullptr && *other != '\0' ? other : VORN_BINARY;
}

/// Whether the program under test is another than the vorn just built: the npm package's
/// command, which differs where docs/web-and-node.md says ("Where the package's command
/// differs").
inline bool testing_another_command() {
  return program_under_test() != VORN_BINARY;
}

/// Runs vorn with `args` in `cwd`; `options` adds what a test needs beyond that.
inline Outcome run_vorn(const fs::path& cwd, const std::vector<std::string>& args,
                        platform::SpawnOptions options = {}) {
  options.cwd = cwd.string();
  platform::SpawnResult r = platform::spawn(program_under_test(), args, options);
  return {r.status, r.out};
}

inline std::vector<std::string> sorted_files(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::recursive_directory_iterator(dir)) {
    names.push_back(e.path().lexically_relative(dir).generic_string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace vorn::e2e
