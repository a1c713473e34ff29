// Helpers of the end-to-end tests: scratch folders, files, and running the real executable.
#pragma once

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "driver/driver.h"
#include "support/spawn.h"

namespace vorn::e2e {

namespace fs = std::filesystem;

#ifdef _WIN32
constexpr bool ON_WINDOWS = true;
#else
constexpr bool ON_WINDOWS = false;
#endif

inline std::string read_file(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

inline void write_file(const fs::path& p, const std::string& text) {
  std::ofstream(p, std::ios::binary) << text;
}

/// The path named by the UTF-8 text `utf8`, on every platform.
inline fs::path u8path(const std::string& utf8) {
  return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

/// `text`, written with LF newlines, as vorn writes it on this platform.
inline std::string native(const std::string& text) {
  return vorn::with_text_newlines(text);
}

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

struct ScratchDir {
  fs::path path;
  ScratchDir() {
    std::random_device rd;
    do {
      path = fs::temp_directory_path() / ("vorn-e2e-" + std::to_string(rd()));
    } while (!fs::create_directory(path));
  }
  ~ScratchDir() {
    std::error_code ec;
    fs::permissions(path, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(path, ec);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
};

}  // namespace vorn::e2e
