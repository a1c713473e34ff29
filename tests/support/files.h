// Helpers that the tests share: repeated text, line endings, scratch folders, reading and
// writing files.
#pragma once

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <string_view>

#include "driver/driver.h"

namespace vorn::support {

namespace fs = std::filesystem;

/// `text`, `times` times over.
inline std::string repeat(std::string_view text, int times) {
  std::string out;
  out.reserve(text.size() * static_cast<std::size_t>(times > 0 ? times : 0));
  for (int k = 0; k < times; ++k) out += text;
  return out;
}

/// `text`, written with LF newlines, as vorn writes it on this platform.
inline std::string native(const std::string& text) {
  return vorn::with_text_newlines(text);
}

/// `text` as vorn wrote it on this platform, given back with LF newlines.
inline std::string lf(std::string_view text) {
#ifdef _WIN32
  std::string out;
  for (std::size_t k = 0; k < text.size(); ++k) {
    if (text.compare(k, 2, "\r\n") != 0) out.push_back(text[k]);
  }
  return out;
#else
  return std::string(text);
#endif
}

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

/// A new, empty folder of the system's temporary folder, removed with all it holds.
struct ScratchDir {
  fs::path path;
  ScratchDir() {
    std::random_device rd;
    do {
      path = fs::temp_directory_path() / ("vorn-test-" + std::to_string(rd()));
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

}  // namespace vorn::support
