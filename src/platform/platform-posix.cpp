// The platform services on POSIX systems.
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdint>
#include <cstring>
#include <iterator>

#include "platform/platform.h"

namespace vorn::platform {

namespace {

// The temporary object file that exists right now, as a folder descriptor and a name in it,
// so that a signal that ends the run can remove it. Set and cleared with the signals blocked.
std::atomic<int> live_temp_dir{-1};
std::atomic<const char*> live_temp_name{nullptr};

constexpr int CLEANUP_SIGNALS[] = {SIGINT, SIGTERM, SIGHUP};

// Removes the temporary file, then ends the process by the signal's own default action, so
// that the caller still sees the signal. Only async-signal-safe calls.
void on_fatal_signal(int sig) {
  const char* name = live_temp_name.load();
  int dir = live_temp_dir.load();
  if (name != nullptr) unlinkat(dir, name, 0);
  signal(sig, SIG_DFL);
  raise(sig);  // blocked while the handler runs; delivered as it returns
}

// Blocks the cleanup signals for the life of the value.
struct SignalsBlocked {
  sigset_t old;
  SignalsBlocked() {
    sigset_t set;
    sigemptyset(&set);
    for (int sig : CLEANUP_SIGNALS) sigaddset(&set, sig);
    sigprocmask(SIG_BLOCK, &set, &old);
  }
  ~SignalsBlocked() { sigprocmask(SIG_SETMASK, &old, nullptr); }
  SignalsBlocked(const SignalsBlocked&) = delete;
  SignalsBlocked& operator=(const SignalsBlocked&) = delete;
};

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

FileId id_of(const struct stat& st) {
  return {static_cast<std::uint64_t>(st.st_dev), 0, static_cast<std::uint64_t>(st.st_ino)};
}

// The file that `path` finally names when its symbolic links are followed, with `exists` and
// its status `st`; a dangling link gives the path it points to. False when the links loop or
// cannot be read.
bool final_target(std::string path, std::string& target, bool& exists, struct stat& st) {
  for (int hops = 0; hops < 40; ++hops) {
    exists = ::lstat(path.c_str(), &st) == 0;
    if (!exists || !S_ISLNK(st.st_mode)) {
      target = path;
      return true;
    }
    std::string link(st.st_size > 0 ? static_cast<std::size_t>(st.st_size) : PATH_MAX, '\0');
    ssize_t n = ::readlink(path.c_str(), link.data(), link.size());
    if (n <= 0) return false;
    link.resize(static_cast<std::size_t>(n));
    if (link.front() == '/') {
      path = link;
    } else {
      std::size_t slash = path.rfind('/');
      path = (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + link;
    }
  }
  return false;
}

// Fills `out` with random letters and digits from the system's random source.
void random_name_part(char* out, std::size_t n) {
  static const char ALPHABET[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  unsigned char bytes[32];
  std::size_t got = 0;
  while (got < n) {
    ssize_t r = ::getrandom(bytes + got, n - got, 0);
    if (r > 0) {
      got += static_cast<std::size_t>(r);
    } else if (r < 0 && errno != EINTR) {
      break;
    }
  }
  if (got < n) {  // no random source: the name is still tried with O_EXCL
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    std::uint64_t x = static_cast<std::uint64_t>(ts.tv_nsec) ^
                      (static_cast<std::uint64_t>(getpid()) << 32) ^ static_cast<std::uint64_t>(got);
    for (std::size_t k = got; k < n; ++k, x = x * 6364136223846793005u + 1442695040888963407u) {
      bytes[k] = static_cast<unsigned char>(x >> 56);
    }
  }
  for (std::size_t k = 0; k < n; ++k) out[k] = ALPHABET[bytes[k] % 36];
}

// Name of a temporary object file: fixed length, whatever the object's name.
constexpr char TEMP_PATTERN[] = ".vorn-XXXXXXXXXXXX.tmp";
constexpr std::size_t TEMP_RANDOM_AT = 6;
constexpr std::size_t TEMP_RANDOM_LENGTH = 12;

// Creates a new temporary file in the folder `dir` with permission bits `mode`, never through
// a link. Returns its descriptor with its name in `name` (a TEMP_PATTERN-sized buffer), or -1.
int create_temporary(int dir, char* name, mode_t mode) {
  for (int attempt = 0; attempt < 10000; ++attempt) {
    std::copy(std::begin(TEMP_PATTERN), std::end(TEMP_PATTERN), name);
    random_name_part(name + TEMP_RANDOM_AT, TEMP_RANDOM_LENGTH);
    SignalsBlocked blocked;
    int fd = ::openat(dir, name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd >= 0) {
      live_temp_dir.store(dir);
      live_temp_name.store(name);
      return fd;
    }
    if (errno != EEXIST && errno != EINTR) return -1;
  }
  return -1;
}

void remove_temporary(int dir, const char* name) {
  SignalsBlocked blocked;
  ::unlinkat(dir, name, 0);
  live_temp_name.store(nullptr);
}

// The case where no new file may be made beside the object: the earlier object, writable,
// is truncated and written in place. Not atomic, but the text is complete before the file is
// touched.
bool write_in_place(const std::string& target, std::string_view text) {
  int fd = ::open(target.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = write_all(fd, text);
  return (::close(fd) == 0) && ok;
}

bool may_write(const std::string& path) {
  return ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0;
}

}  // namespace

std::vector<std::string> command_line(int argc, char** argv) {
  return std::vector<std::string>(argv, argv + argc);
}

void process_setup() {
  // A file-size limit must fail the write, to be reported, not kill the process; a closed
  // standard output must fail the write too.
  signal(SIGXFSZ, SIG_IGN);
  signal(SIGPIPE, SIG_IGN);
  struct sigaction sa {};
  sa.sa_handler = on_fatal_signal;
  sigemptyset(&sa.sa_mask);
  for (int sig : CLEANUP_SIGNALS) {
    struct sigaction old {};
    // A signal the caller chose to ignore (nohup, a background job) stays ignored.
    if (sigaction(sig, nullptr, &old) == 0 && old.sa_handler != SIG_IGN) {
      sigaction(sig, &sa, nullptr);
    }
  }
}

bool open_source(const std::string& path, SourceFile& file) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    ::close(fd);
    return false;
  }
  file.handle = fd;
  file.id = id_of(st);
  return true;
}

std::ptrdiff_t read_source(SourceFile& file, char* buf, std::size_t size) {
  for (;;) {
    ssize_t n = ::read(static_cast<int>(file.handle), buf, size);
    if (n >= 0 || errno != EINTR) return n;
  }
}

void close_source(SourceFile& file) {
  if (file.handle >= 0) ::close(static_cast<int>(file.handle));
  file.handle = -1;
}

bool file_identity(const std::string& path, FileId& id) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return false;
  id = id_of(st);
  return true;
}

bool write_object(const std::string& path, std::string_view text) {
  // Like a tool that opens the object for writing: through links, to their final target.
  std::string target;
  bool exists = false;
  struct stat st {};
  if (!final_target(path, target, exists, st)) return false;
  if (exists && S_ISDIR(st.st_mode)) return false;
  if (exists && !may_write(target)) return false;  // a write-protected object stays as it is
  // A device or a pipe is written, never replaced.
  if (exists && !S_ISREG(st.st_mode)) return write_in_place(target, text);

  std::size_t slash = target.rfind('/');
  const std::string dir_path = slash == std::string::npos ? "." : target.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
  int dir = ::open(dir_path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) return false;

  char temp[sizeof TEMP_PATTERN];
  const mode_t mode = exists ? (st.st_mode & 0777) : 0666;
  int fd = create_temporary(dir, temp, mode);
  if (fd < 0) {
    const bool no_new_file = errno == EACCES || errno == EPERM;
    ::close(dir);
    return exists && no_new_file && write_in_place(target, text);
  }
  // The earlier object's permission bits, exactly (the umask applied at creation).
  bool ok = !exists || ::fchmod(fd, mode) == 0;
  ok = write_all(fd, text) && ok;
  ok = (::close(fd) == 0) && ok;
  bool renamed = false;
  bool refused = false;
  if (ok) {
    SignalsBlocked blocked;
    renamed = ::renameat(dir, temp, dir, name.c_str()) == 0;
    refused = !renamed && (errno == EACCES || errno == EPERM);
    if (renamed) live_temp_name.store(nullptr);
  }
  if (!renamed) remove_temporary(dir, temp);
  ::close(dir);
  // A sticky folder lets no one replace another user's file, only write it.
  if (refused && exists) return write_in_place(target, text);
  return renamed;
}

namespace {

constexpr std::size_t HUGE_PAGE = std::size_t{2} << 20;

// Storage from this size on is taken in huge pages. Below it is the storage of an ordinary line
// that a read happened to cut, which would pay for 2 MiB it does not use.
constexpr std::size_t HUGE_FROM = std::size_t{128} << 10;

// The size of the mapping that holds `capacity` bytes: pages of 4 KiB below HUGE_FROM, whole
// huge pages from there on.
std::size_t mapping_size(std::size_t capacity) {
  if (capacity < HUGE_FROM) return (capacity + 4095) & ~std::size_t{4095};
  return (capacity + HUGE_PAGE - 1) & ~(HUGE_PAGE - 1);
}

// Address space of `size` bytes (a multiple of HUGE_PAGE) that starts on a huge-page boundary,
// so that each of its huge pages can be one. Nothing is committed yet.
void* reserve_aligned(std::size_t size) {
  const std::size_t span = size + HUGE_PAGE;
  void* p = ::mmap(nullptr, span, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (p == MAP_FAILED) return nullptr;
  const auto start = reinterpret_cast<std::uintptr_t>(p);
  const std::uintptr_t aligned = (start + HUGE_PAGE - 1) & ~std::uintptr_t{HUGE_PAGE - 1};
  if (aligned > start) ::munmap(p, aligned - start);
  const std::uintptr_t tail = start + span - (aligned + size);
  if (tail > 0) ::munmap(reinterpret_cast<void*>(aligned + size), tail);
  return reinterpret_cast<void*>(aligned);
}

}  // namespace

char* grow_line_storage(char* data, std::size_t old_capacity, std::size_t capacity) {
  const std::size_t size = mapping_size(capacity);
  if (capacity < HUGE_FROM) {
    void* p = data == nullptr ? ::mmap(nullptr, size, PROT_READ | PROT_WRITE,
                                       MAP_PRIVATE | MAP_ANONYMOUS, -1, 0)
                              : ::mremap(data, mapping_size(old_capacity), size, MREMAP_MAYMOVE);
    return p == MAP_FAILED ? nullptr : static_cast<char*>(p);
  }
  // Whole huge pages on huge-page boundaries, so that each fault maps 2 MiB.
  void* target = reserve_aligned(size);
  if (target == nullptr) return nullptr;
  void* p = MAP_FAILED;
  if (data != nullptr && old_capacity >= HUGE_FROM) {
    // Growing moves the page tables, never the bytes.
    p = ::mremap(data, mapping_size(old_capacity), size, MREMAP_MAYMOVE | MREMAP_FIXED, target);
  } else {
    p = ::mmap(target, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0);
  }
  if (p == MAP_FAILED) {
    ::munmap(target, size);
    return nullptr;
  }
#ifdef MADV_HUGEPAGE
  ::madvise(p, size, MADV_HUGEPAGE);
#endif
  if (data != nullptr && old_capacity < HUGE_FROM) {
    // The few small pages are copied, so that no page of 4 KiB stands in a huge page's place.
    std::memcpy(p, data, old_capacity);
    ::munmap(data, mapping_size(old_capacity));
  }
  return static_cast<char*>(p);
}

void release_line_storage(char* data, std::size_t capacity) {
  if (data != nullptr) ::munmap(data, mapping_size(capacity));
}

std::string_view text_newline() {
  return "\n";
}

bool write_stdout(std::string_view text) {
  return write_all(STDOUT_FILENO, text);
}

bool write_stderr(std::string_view text) {
  return write_all(STDERR_FILENO, text);
}

}  // namespace vorn::platform
