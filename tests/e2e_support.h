// Helpers of the end-to-end tests: running the real executable and looking at what it left.
#pragma once

#include <algorithm>
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

/// Runs vorn with `args` in `cwd`; `options` adds what a test needs beyond that.
inline Outcome run_vorn(const fs::path& cwd, const std::vector<std::string>& args,
                        platform::SpawnOptions options = {}) {
  options.cwd = cwd.string();
  platform::SpawnResult r = platform::spawn(VORN_BINARY, args, options);
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
