// The platform services on POSIX systems.
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#if defined(__linux__)
#include <sys/random.h>
#endif
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <utility>

#include "platform/platform.h"

namespace vorn::platform {

namespace {

// The temporary object file that exists right now, as a folder descriptor and a name in it,
// so that a signal that ends the run can remove it. Set and cleared with the signals blocked.
// A name that is made and put in place, or removed, while the signals are blocked throughout
// (an unnamed file's, where the file system has them) never meets a signal; the handlers are
// installed only where a name lives while the object is written.
std::atomic<int> live_temp_dir{-1};
std::atomic<const char*> live_temp_name{nullptr};

// Every catchable signal whose default action ends the process, the real-time ones added at
// run time. SIGXFSZ and SIGPIPE are not among them: they are ignored, so that a write past the
// file-size limit, or to a closed pipe, fails and is reported.
constexpr int CLEANUP_SIGNALS[] = {
    SIGHUP,    SIGINT,  SIGQUIT, SIGILL,  SIGTRAP, SIGABRT,   SIGBUS,  SIGFPE, SIGUSR1,
    SIGSEGV,   SIGUSR2, SIGALRM, SIGTERM, SIGXCPU, SIGVTALRM, SIGPROF, SIGSYS,
#if defined(__linux__)
    SIGIO,  // ignored by default elsewhere
#endif
#if defined(SIGPWR)
    SIGPWR,
#endif
#if defined(SIGSTKFLT)
    SIGSTKFLT,
#endif
#if defined(SIGEMT)
    SIGEMT,
#endif
#if defined(SIGLOST)
    SIGLOST,
#endif
};

// Makes `handler` the action for `sig`, with every signal held while it runs. Through
// sigaction alone, which also sets SIG_DFL and SIG_IGN.
void set_action(int sig, void (*handler)(int), struct sigaction* old = nullptr) {
  struct sigaction sa {};
  sa.sa_handler = handler;
  sigfillset(&sa.sa_mask);
  sigaction(sig, &sa, old);
}

// Removes the temporary file, then ends the process by the signal's own default action, so
// that the caller still sees the signal. Only async-signal-safe calls.
void on_fatal_signal(int sig) {
  const char* name = live_temp_name.load();
  int dir = live_temp_dir.load();
  if (name != nullptr) unlinkat(dir, name, 0);
  set_action(sig, SIG_DFL);
  raise(sig);  // blocked while the handler runs; delivered as it returns
}

// Holds every signal that can be held, the cleanup signals among them, for the life of the
// value: the few calls it guards take microseconds, and one full set costs less to make.
struct SignalsBlocked {
  sigset_t old;
  SignalsBlocked() {
    sigset_t set;
    sigfillset(&set);
    sigprocmask(SIG_BLOCK, &set, &old);
  }
  ~SignalsBlocked() { sigprocmask(SIG_SETMASK, &old, nullptr); }
  SignalsBlocked(const SignalsBlocked&) = delete;
  SignalsBlocked& operator=(const SignalsBlocked&) = delete;
};

// A descriptor closed with its value.
struct Fd {
  int fd = -1;
  Fd() = default;
  explicit Fd(int d) : fd(d) {}
  ~Fd() { reset(-1); }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  void reset(int d) {
    if (fd >= 0) ::close(fd);
    fd = d;
  }
};

// Writes all of `text` to `fd`. A descriptor that another program made non-blocking (a
// standard output shared with it) is waited for while it is full, as a blocking one would be.
bool write_all(int fd, std::string_view text) {
  while (!text.empty()) {
    ssize_t n = ::write(fd, text.data(), text.size());
    if (n < 0) {
      struct pollfd ready = {fd, POLLOUT, 0};
      if (errno == EINTR ||
          ((errno == EAGAIN || errno == EWOULDBLOCK) && ::poll(&ready, 1, -1) >= 0)) {
        continue;
      }
      return false;
    }
    text.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

FileId id_of(const struct stat& st) {
  return {static_cast<std::uint64_t>(st.st_dev), 0, static_cast<std::uint64_t>(st.st_ino)};
}

bool same_file(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// A folder opened only to look names up in it: search permission is all it needs, so a drop
// box (write and search, no read) serves.
#if defined(__linux__)
constexpr int FOLDER_ONLY = O_PATH | O_DIRECTORY | O_CLOEXEC;
#elif defined(O_SEARCH)
constexpr int FOLDER_ONLY = O_SEARCH | O_DIRECTORY | O_CLOEXEC;
#else
constexpr int FOLDER_ONLY = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
#endif

// Splits `path` into its folder ("." when it has none) and its last name.
void split_path(const std::string& path, std::string& folder, std::string& name) {
  const std::size_t slash = path.rfind('/');
  folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  name = slash == std::string::npos ? path : path.substr(slash + 1);
}

#if defined(__linux__)
// The name of the open descriptor `fd` in the system's /proc: a link to the file it holds.
struct ProcPath {
  char text[32] = "/proc/self/fd/";  // and at most ten digits

  explicit ProcPath(int fd) {
    constexpr std::size_t PREFIX = sizeof "/proc/self/fd/" - 1;
    *std::to_chars(text + PREFIX, std::end(text) - 1, fd).ptr = '\0';
  }
};
#endif

// The text of the symbolic link `name` in the folder `dir`, however long.
bool read_link(int dir, const std::string& name, std::string& text) {
  std::string buf(256, '\0');
  for (;;) {
    const ssize_t n = ::readlinkat(dir, name.c_str(), buf.data(), buf.size());
    if (n < 0) return false;
    if (static_cast<std::size_t>(n) < buf.size()) {
      text.assign(buf.data(), static_cast<std::size_t>(n));
      return true;
    }
    buf.resize(buf.size() * 2);
  }
}

// A name in a folder: the folder opened for search only, so that names are looked up relative
// to it and the length of the whole path does not matter.
struct Place {
  Fd dir;
  std::string name;
};

bool open_place(const std::string& path, Place& place) {
  std::string folder;
  split_path(path, folder, place.name);
  place.dir.reset(::open(folder.c_str(), FOLDER_ONLY));
  return place.dir.fd >= 0 && !place.name.empty();
}

// As many links as Linux follows in one look-up.
constexpr int MAX_LINK_HOPS = 40;

// Moves `place` along the links that start there, one at a time, each from the folder that
// holds it, to the name that holds the file `target`. Only finds the name: which file it is,
// the system has decided. False unless the name found holds that very file.
bool find_name_of(Place& place, const struct stat& target) {
  for (int hop = 0; hop <= MAX_LINK_HOPS; ++hop) {
    struct stat st {};
    if (::fstatat(place.dir.fd, place.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return false;
    if (!S_ISLNK(st.st_mode)) return same_file(st, target);
    std::string text;
    std::string folder;
    if (!read_link(place.dir.fd, place.name, text)) return false;
    split_path(text, folder, place.name);
    // An absolute folder is opened as it is; a relative one from the folder of the link.
    place.dir.reset(::openat(place.dir.fd, folder.c_str(), FOLDER_ONLY));
    if (place.dir.fd < 0 || place.name.empty()) return false;
  }
  return false;
}

// Fills `out` with random letters and digits from the system's random source.
void random_name_part(char* out, std::size_t n) {
  static const char ALPHABET[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  unsigned char bytes[32];
  std::size_t got = 0;
#if defined(__linux__)
  while (got < n) {
    ssize_t r = ::getrandom(bytes + got, n - got, 0);
    if (r > 0) {
      got += static_cast<std::size_t>(r);
    } else if (r < 0 && errno != EINTR) {
      break;
    }
  }
#elif defined(__APPLE__) || defined(__FreeBSD__) || defined(__OpenBSD__) || defined(__NetBSD__)
  ::arc4random_buf(bytes, n);
  got = n;
#endif
  if (got < n) {  // no random call: the system's random device
    const int fd = ::open("/dev/urandom", O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
      const ssize_t r = ::read(fd, bytes + got, n - got);
      if (r > 0) got += static_cast<std::size_t>(r);
      ::close(fd);
    }
  }
  if (got < n) {
    // No random source: the name is still tried with O_EXCL, and each try gets another one,
    // from a count of the tries and where this process's data lies.
    static std::uint64_t tries = 0;
    std::uint64_t x = reinterpret_cast<std::uintptr_t>(&tries) ^ (++tries << 40) ^ got;
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

// The new text while it is written: an unnamed file where the file system has them (nothing is
// left of it if the process dies), else a temporary file under a random name.
struct NewFile {
  Fd fd;
  int dir = -1;
  char name[sizeof TEMP_PATTERN] = {};
  bool named = false;

  ~NewFile() {
    if (named) {
      SignalsBlocked blocked;
      drop_name();
    }
  }

  // Removes the temporary name, with the signals blocked by the caller.
  void drop_name() {
    ::unlinkat(dir, name, 0);
    named = false;
    live_temp_name.store(nullptr);
  }
};

// Makes `sig` remove a temporary file before it ends the run. A signal the caller chose to
// ignore (nohup, a background job) stays ignored: its old action is put back at once, while
// every signal is held (by the caller), so none comes in between.
void handle_cleanup_signal(int sig) {
  struct sigaction old {};
  set_action(sig, on_fatal_signal, &old);
  if (old.sa_handler == SIG_IGN) sigaction(sig, &old, nullptr);
}

// Makes the cleanup signals remove a temporary file before they end the run; once, before the
// first name that lives unblocked.
void handle_cleanup_signals() {
  static bool handled = false;
  if (handled) return;
  handled = true;
  SignalsBlocked blocked;
  for (int sig : CLEANUP_SIGNALS) handle_cleanup_signal(sig);
#if defined(SIGRTMIN)
  for (int sig = SIGRTMIN; sig <= SIGRTMAX; ++sig) handle_cleanup_signal(sig);
#endif
}

// Gives `file` a fresh temporary name in its folder, for `make(name)` to create.
template <typename Make>
bool name_temporary(NewFile& file, Make make) {
  for (int attempt = 0; attempt < 10000; ++attempt) {
    std::copy(std::begin(TEMP_PATTERN), std::end(TEMP_PATTERN), file.name);
    random_name_part(file.name + TEMP_RANDOM_AT, TEMP_RANDOM_LENGTH);
    SignalsBlocked blocked;
    if (make(file.name)) {
      file.named = true;
      live_temp_dir.store(file.dir);
      live_temp_name.store(file.name);
      return true;
    }
    if (errno != EEXIST && errno != EINTR) return false;
  }
  return false;
}

// Creates the new file in the folder `dir` with permission bits `mode`: unnamed where it may
// be (`unnamed`, on a file system that has them), else under a temporary name where one may be
// made (`named`). Never opens an existing file or a link.
bool create_new(NewFile& file, int dir, mode_t mode, bool unnamed, bool named) {
  file.dir = dir;
#if defined(__linux__)
  if (unnamed) {
    file.fd.reset(::openat(dir, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, mode));
    if (file.fd.fd >= 0) return true;
  }
#else
  (void)unnamed;
#endif
  if (!named) return false;
  handle_cleanup_signals();  // the file is written under this name
  return name_temporary(file, [&](const char* name) {
    file.fd.reset(::openat(dir, name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
    return file.fd.fd >= 0;
  });
}

// Gives the unnamed file `file` the name `name` in its folder: through the descriptor itself
// where the process may (it takes a privilege before Linux 6.10), else through its name in
// /proc. False where neither may be done, or the name exists.
bool link_in(const NewFile& file, const char* name) {
#if defined(__linux__)
  return ::linkat(file.fd.fd, "", file.dir, name, AT_EMPTY_PATH) == 0 ||
         (errno != EEXIST &&
          ::linkat(AT_FDCWD, ProcPath(file.fd.fd).text, file.dir, name, AT_SYMLINK_FOLLOW) == 0);
#else
  (void)file;
  (void)name;
  return false;  // every new file has a name from the start here
#endif
}

// Whether the folder keeps every name it is given: new names may be made there, none removed
// or replaced (Linux's append-only attribute, chattr +a).
bool keeps_every_name(int dir) {
#if defined(__linux__) && defined(STATX_ATTR_APPEND)
  struct statx sx {};
  return ::statx(dir, "", AT_EMPTY_PATH, 0, &sx) == 0 &&
         (sx.stx_attributes & STATX_ATTR_APPEND) != 0;
#else
  (void)dir;
  return false;
#endif
}

// The new file takes the earlier object's owner and group where the process may (root, or a
// group it belongs to), then its permission bits exactly (the umask applied at creation). The
// new file's own owner and group are the ones it was given (the folder may give its group).
bool keep_owner_and_mode(int fd, const struct stat& earlier) {
  struct stat now {};
  if (::fstat(fd, &now) != 0) return false;
  if (earlier.st_uid != now.st_uid || earlier.st_gid != now.st_gid) {
    if (::fchown(fd, earlier.st_uid, earlier.st_gid) != 0) {
      (void)!::fchown(fd, static_cast<uid_t>(-1), earlier.st_gid);
    }
  }
  return ::fchmod(fd, earlier.st_mode & 0777) == 0;
}

// Writes `text` whole to a new file in the place's folder, then puts it under the place's name
// in one step: a rename over the earlier object `earlier`, or, where there is none, a link of
// the unnamed file (in a folder that keeps every name, the only way: nothing is made there
// that could not be taken back). Where the folder allows no new file, or the earlier object
// may not be replaced (another user's, in a sticky folder), nothing is changed.
// `unnamed`: an unnamed file may be tried (it is not, once one could not be given a name).
bool put_in_place(const Place& place, std::string_view text, const struct stat* earlier,
                  bool unnamed = true) {
  const bool keeps_names = keeps_every_name(place.dir.fd);
  if (keeps_names && earlier != nullptr) return false;
  const mode_t mode = earlier != nullptr ? (earlier->st_mode & 0777) : 0666;
  NewFile file;
  if (!create_new(file, place.dir.fd, mode, unnamed, !keeps_names)) return false;
  if (!(earlier == nullptr || keep_owner_and_mode(file.fd.fd, *earlier)) ||
      !write_all(file.fd.fd, text)) {
    return false;
  }
  SignalsBlocked blocked;
  if (!file.named) {
    if (earlier == nullptr && link_in(file, place.name.c_str())) {
      return ::close(std::exchange(file.fd.fd, -1)) == 0;  // a late write error
    }
    if (keeps_names) return false;
    if (!name_temporary(file, [&](const char* name) { return link_in(file, name); })) {
      // An unnamed file that cannot be named (no privilege, no /proc): a named one instead.
      return errno != EEXIST && unnamed && put_in_place(place, text, earlier, false);
    }
  }
  if (::close(std::exchange(file.fd.fd, -1)) != 0) return false;  // a late write error
  if (::renameat(file.dir, file.name, place.dir.fd, place.name.c_str()) != 0) return false;
  file.named = false;
  live_temp_name.store(nullptr);
  return true;
}

// Writes `text` straight into `fd`: a device or a pipe, or an empty file that the system has
// just made (the target of a link that led nowhere), which is left empty if the text does not
// fit; a file's write holds the cleanup signals, so none ends it half-written.
bool write_straight(Fd& fd, const struct stat& st, std::string_view text) {
  bool ok = false;
  if (S_ISREG(st.st_mode)) {
    SignalsBlocked blocked;
    ok = write_all(fd.fd, text);
    if (!ok) (void)!::ftruncate(fd.fd, 0);
  } else {
    ok = write_all(fd.fd, text);
  }
  return ::close(std::exchange(fd.fd, -1)) == 0 && ok;  // a late write error shows here
}

}  // namespace

std::vector<std::string> command_line(int argc, char** argv) {
  return std::vector<std::string>(argv, argv + argc);
}

void process_setup() {
  // A file-size limit must fail the write, to be reported, not kill the process; a closed
  // standard output must fail the write too.
  set_action(SIGXFSZ, SIG_IGN);
  set_action(SIGPIPE, SIG_IGN);
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
  if (path.size() < PATH_MAX && !path.empty() && path.back() != '/') {
    // The usual path, short enough for the system to look up whole.
    if (::fstatat(AT_FDCWD, path.c_str(), &st, 0) != 0) return false;
  } else {
    Place place;
    if (!open_place(path, place) || ::fstatat(place.dir.fd, place.name.c_str(), &st, 0) != 0) {
      return false;
    }
  }
  id = id_of(st);
  return true;
}

bool write_object(const std::string& path, std::string_view text) {
  Place place;
  if (!open_place(path, place)) return false;
  // The file the object path names, as the system opens it for writing, through links and
  // with its protections: a folder, a write-protected object, a link the system does not
  // follow or a socket is refused here.
  Fd fd(::openat(place.dir.fd, place.name.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC));
  bool made = false;
  if (fd.fd < 0) {
    if (errno != ENOENT) return false;
    struct stat own {};
    if (::fstatat(place.dir.fd, place.name.c_str(), &own, AT_SYMLINK_NOFOLLOW) != 0) {
      return errno == ENOENT && put_in_place(place, text, nullptr);  // no object yet
    }
    if (!S_ISLNK(own.st_mode)) return false;  // changed meanwhile
    // A link that leads nowhere: the system's own open through it makes the target.
    fd.reset(::openat(place.dir.fd, place.name.c_str(), O_WRONLY | O_CREAT | O_NOCTTY | O_CLOEXEC,
                      0666));
    made = fd.fd >= 0;
    if (!made) return false;
  }
  struct stat st {};
  if (::fstat(fd.fd, &st) != 0) return false;
  if (!S_ISREG(st.st_mode) || (made && st.st_size == 0)) return write_straight(fd, st, text);
  fd.reset(-1);
  return find_name_of(place, st) && put_in_place(place, text, &st);
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
