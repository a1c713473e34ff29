// Loaded into vorn with LD_PRELOAD by the tests of the named temporary file: the file system
// seems to have no unnamed files, as some have none (every open with O_TMPFILE fails as it
// fails there); every other open is the system's.
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <sys/types.h>

namespace {

using OpenAt = int (*)(int, const char*, int, ...);

int open_at(const char* real_name, int dir, const char* path, int flags, mode_t mode) {
  if ((flags & O_TMPFILE) == O_TMPFILE) {
    errno = EOPNOTSUPP;
    return -1;
  }
  static const auto real = reinterpret_cast<OpenAt>(dlsym(RTLD_NEXT, real_name));
  return real(dir, path, flags, mode);
}

mode_t mode_of(int flags, va_list args) {
  return (flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE ? va_arg(args, mode_t) : 0;
}

}  // namespace

extern "C" int openat(int dir, const char* path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  const mode_t mode = mode_of(flags, args);
  va_end(args);
  return open_at("openat", dir, path, flags, mode);
}

extern "C" int openat64(int dir, const char* path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  const mode_t mode = mode_of(flags, args);
  va_end(args);
  return open_at("openat64", dir, path, flags, mode);
}
