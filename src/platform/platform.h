// The operating system's services that vorn uses, behind one interface. One implementation
// serves POSIX systems (platform-posix.cpp), one Windows (platform-win32.cpp); the build picks
// one. Paths are UTF-8 everywhere in vorn; the Windows side converts them for the wide API.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vorn::platform {

/// The identity of a file: two names whose identities are equal name the same file.
struct FileId {
  std::uint64_t volume = 0;
  std::uint64_t index_high = 0;
  std::uint64_t index_low = 0;

  bool operator==(const FileId&) const = default;
};

/// An open source file.
struct SourceFile {
  std::intptr_t handle = -1;
  FileId id;  // of the file as opened
};

/// The arguments of the process, program name first, as UTF-8 (on Windows taken from the
/// UTF-16 command line, so any file name comes through).
std::vector<std::string> command_line(int argc, char** argv);

/// Sets the process up for a run: signals and the console. Called once, by `main`.
void process_setup();

/// Opens `path` for reading its bytes as they are. Returns false when it cannot be opened or
/// is a folder.
bool open_source(const std::string& path, SourceFile& file);

/// Reads up to `size` bytes into `buf`. Returns the count, 0 at the end, -1 on an I/O error.
std::ptrdiff_t read_source(SourceFile& file, char* buf, std::size_t size);

void close_source(SourceFile& file);

/// The identity of the file that `path` names (through links). False when there is none.
bool file_identity(const std::string& path, FileId& id);

/// Puts `text` in place as the file `path`: written whole to a new temporary file beside it,
/// then put over `path` in one step, so the file is either the whole new text or untouched.
/// Returns false, leaving no temporary file behind, when anything fails.
bool write_object(const std::string& path, std::string_view text);

/// The text newline of the platform: "\r\n" on Windows, "\n" elsewhere.
std::string_view text_newline();

/// Writes all of `text` to standard output or standard error. False when it cannot.
bool write_stdout(std::string_view text);
bool write_stderr(std::string_view text);

}  // namespace vorn::platform
