// Loaded into vorn with LD_PRELOAD by the tests of the named temporary file: the file system
// seems to have no unnamed files, as some have none (an open with O_TMPFILE fails as it fails
// there); every other open is the system's.
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>

extern "C" int openat(int dir, const char* path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  const mode_t mode = (flags & (O_CREAT | O_TMPFILE)) != 0 ? va_arg(args, mode_t) : 0;
  va_end(args);
  if ((flags & O_TMPFILE) == O_TMPFILE) {
    errno = EOPNOTSUPP;
    return -1;
  }
  static const auto real =
      reinterpret_cast<int (*)(int, const char*, int, ...)>(dlsym(RTLD_NEXT, "openat"));
  return real(dir, path, flags, mode);
}
