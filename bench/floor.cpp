// The least any assembler's process must do, as a second floor for the small cases: read the
// source whole, then write a file beside it through a temporary name and a rename. Plain POSIX
// calls, no C++ runtime work beyond start-up; linked like vorn.
//   vorn_floor SOURCE      (writes SOURCE's name with ".obj" for its extension)
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  static char buf[1 << 20];
  int in = open(argv[1], O_RDONLY | O_CLOEXEC);
  if (in < 0) return 1;
  ssize_t size = 0;
  for (ssize_t n; (n = read(in, buf + size, sizeof buf - static_cast<size_t>(size))) > 0;) size += n;
  close(in);
  char path[4096];
  char tmp[4096 + 8];
  const char* dot = strrchr(argv[1], '.');
  const size_t stem = dot != nullptr ? static_cast<size_t>(dot - argv[1]) : strlen(argv[1]);
  if (stem + 5 > sizeof path) return 1;
  memcpy(path, argv[1], stem);
  memcpy(path + stem, ".obj", 5);
  snprintf(tmp, sizeof tmp, "%s.tmp", path);
  int out = open(tmp, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (out < 0) return 1;
  // As much text as a small program's object holds: a tenth of the source.
  const bool ok = write(out, buf, static_cast<size_t>(size / 10 + 1)) > 0 && close(out) == 0;
  return ok && rename(tmp, path) == 0 ? 0 : 1;
}
