// The other user of the race test: as user UID, for SECONDS, puts at PATH in turn a link to
// MISSING (a name in a folder of root's that does not exist), nothing, a link to EXISTING (a
// file of root's), nothing, a file of its own, nothing; most often the link that leads nowhere.
//   flip_links UID PATH MISSING EXISTING SECONDS
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  if (argc != 6) {
    std::fputs("usage: flip_links UID PATH MISSING EXISTING SECONDS\n", stderr);
    return 2;
  }
  const auto uid = static_cast<uid_t>(std::atol(argv[1]));
  if (setgid(uid) != 0 || setuid(uid) != 0) return 1;
  const char* path = argv[2];
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(std::atol(argv[5]));
  long swaps = 0;
  while (std::chrono::steady_clock::now() < end) {
    for (int k = 0; k < 100; ++k, swaps += 2) {
      if (symlink(k % 10 == 8 ? argv[4] : argv[3], path) == 0) unlink(path);
      if (k % 10 == 9) {
        const int fd = open(path, O_WRONLY | O_CREAT | O_EXCL, 0666);
        if (fd >= 0) close(fd);
        unlink(path);
      }
    }
  }
  std::printf("%ld\n", swaps);
  return 0;
}
