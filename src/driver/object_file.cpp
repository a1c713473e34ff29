#include "driver/object_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace vorn {

namespace {

// Creates a temporary file beside `path` (mode 0666 less the umask, like a plain create).
// Returns its descriptor, or -1.
int create_temporary(const std::string& path, std::string& tmp) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    tmp = path + "." + std::to_string(::getpid()) + "-" + std::to_string(attempt) + ".tmp";
    int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

bool write_all(int fd, std::string_view text) {
  while (!text.empty()) {
    ssize_t n = ::write(fd, text.data(), text.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    text.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

}  // namespace

bool write_object_file(const std::string& path, std::string_view text) {
  std::string tmp;
  int fd = create_temporary(path, tmp);
  if (fd < 0) return false;
  bool ok = write_all(fd, text);
  ok = (::close(fd) == 0) && ok;
  ok = ok && std::rename(tmp.c_str(), path.c_str()) == 0;
  if (!ok) ::unlink(tmp.c_str());
  return ok;
}

}  // namespace vorn
