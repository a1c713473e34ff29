#include "driver/driver.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "driver/assembler.h"
#include "driver/object_file.h"
#include "driver/object_path.h"
#include "pass1/assembly_state.h"

namespace vorn {

namespace {

int say(std::FILE* out, std::string_view text, int status) {
  std::fwrite(text.data(), 1, text.size(), out);
  std::fflush(out);
  return status;
}

// Opens the source for reading and fills `st` with what was opened; a folder or anything
// unreadable counts as not found.
int open_source(const char* path, struct stat& st) {
  int fd = ::open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return -1;
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    ::close(fd);
    return -1;
  }
  return fd;
}

}  // namespace

int run_command_line(int argc, const char* const* argv, std::FILE* out) {
  if (argc < 2) return say(out, "usage : vorn inputfile\n", EXIT_USAGE);
  const std::string source_path = argv[1];
  struct stat source {};
  int fd = open_source(source_path.c_str(), source);
  if (fd < 0) return say(out, "input file not found\n", EXIT_ERROR);
  const std::string object_path = make_object_path(source_path);
  if (object_replaces_source(source_path, source, object_path)) {
    ::close(fd);
    return say(out, "object file would replace source\n", EXIT_ERROR);
  }

  auto as = std::make_unique<Assembly>();
  reader_from_fd(as->reader, fd);
  RunResult result = assemble(*as, object_path);
  ::close(fd);
  if (!result.ok) return say(out, result.output, EXIT_ERROR);
  if (!write_object_file(object_path, result.object)) {
    return say(out, "error: cannot write object file\n", EXIT_ERROR);
  }
  return EXIT_OK;
}

}  // namespace vorn
