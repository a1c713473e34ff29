// Starting a program and collecting what it prints, for the tests and benchmarks that run the
// real vorn as a user would.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vorn::platform {

/// Where the program's standard output goes.
enum class StdoutTo {
  capture,      // a file read back into SpawnResult::out
  full_device,  // a device on which every write fails for lack of space (POSIX: /dev/full)
  closed_pipe,  // a pipe whose reading end is already closed
  closed,       // no standard output at all: descriptor 1 closed (POSIX)
};

struct SpawnOptions {
  std::string cwd;  // folder to run in; empty: the current one
  StdoutTo out = StdoutTo::capture;
  std::uint64_t file_size_limit = 0;  // largest file the program may write; 0: none (POSIX)
  std::uint64_t memory_limit = 0;     // largest address space it may have; 0: none (POSIX)
  long user = -1;                     // user id to run as (POSIX, as root); -1: ours
  int signal_on_temporary = 0;        // sent as soon as a file "*.tmp" appears in `cwd`
  std::string preload;                // a library loaded into the program first (LD_PRELOAD)
};

struct SpawnResult {
  bool started = false;                   // false when the program could not be run at all
  int status = -1;                        // exit status, or 128 + the signal that ended it
  int signal = 0;                         // the signal that ended it, else 0
  bool signalled_with_temporary = false;  // `signal_on_temporary` was sent while the file existed
  std::string out;
  std::string err;
};

/// The id of the user the process runs as; -1 where users have no such ids (Windows).
long current_user();

/// The short 8.3 name that Windows gives the file-name part of the existing file `path` (for
/// the tests of the same-file refusal), or "" where there is none.
std::string short_name_of(const std::string& path);

/// Makes `link` a symbolic link to `target` (a relative path with "/"). False where no link can
/// be made: Windows without the privilege or developer mode, or Wine, which makes none.
bool make_symbolic_link(const std::string& target, const std::string& link);

/// Runs `program` with `args` (argv[0] excluded), waits for it and collects its output.
SpawnResult spawn(const std::string& program, const std::vector<std::string>& args,
                  const SpawnOptions& options = {});

}  // namespace vorn::platform
