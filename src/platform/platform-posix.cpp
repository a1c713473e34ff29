// The platform services on POSIX systems.
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/file.h>
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

// Every catchable signal whose default action ends the process. SIGXFSZ is not among them: it
// is ignored, so that a write past the file-size limit fails and is reported.
constexpr int CLEANUP_SIGNALS[] = {SIGINT,  SIGTERM, SIGHUP,    SIGQUIT, SIGUSR1,
                                   SIGUSR2, SIGALRM, SIGVTALRM, SIGPROF, SIGXCPU};

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

bool same_file(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// A folder opened only to look names up in it: search permission is all it needs, so a drop
// box (write and search, no read) serves.
#if defined(__linux__)
constexpr int FOLDER_ONLY = O_PATH | O_DIRECTORY | O_CLOEXEC;
constexpr int LOOK_UP_ONLY = O_PATH | O_CLOEXEC;
#elif defined(O_SEARCH)
constexpr int FOLDER_ONLY = O_SEARCH | O_DIRECTORY | O_CLOEXEC;
constexpr int LOOK_UP_ONLY = O_RDONLY | O_NONBLOCK | O_CLOEXEC;
#else
constexpr int FOLDER_ONLY = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
constexpr int LOOK_UP_ONLY = O_RDONLY | O_NONBLOCK | O_CLOEXEC;
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

// The path of the file open as `fd`, as the system knows it: every link resolved. False where
// the system cannot tell it.
bool real_path_of(int fd, std::string& path) {
#if defined(__linux__)
  const ProcPath proc(fd);
  std::string buf(PATH_MAX, '\0');
  const ssize_t n = ::readlink(proc.text, buf.data(), buf.size());
  if (n <= 0 || static_cast<std::size_t>(n) >= buf.size() || buf[0] != '/') return false;
  path.assign(buf.data(), static_cast<std::size_t>(n));
  return true;
#elif defined(F_GETPATH)
  char buf[PATH_MAX];
  if (::fcntl(fd, F_GETPATH, buf) != 0) return false;
  path = buf;
  return true;
#else
  (void)fd;
  (void)path;
  return false;
#endif
}

// Where the object goes: the folder that holds it, opened for search only, and its name there.
// Names are looked up relative to the folder, so the length of the whole path does not matter.
struct Place {
  Fd dir;
  std::string name;
  bool exists = false;
  bool created = false;  // made just now, empty, through a dangling link
  struct stat st {};
};

bool open_place(const std::string& path, Place& place) {
  std::string folder;
  split_path(path, folder, place.name);
  place.dir.reset(::open(folder.c_str(), FOLDER_ONLY));
  return place.dir.fd >= 0 && !place.name.empty();
}

// The object path is a symbolic link: the system itself follows it, exactly as it would for an
// ordinary open by this process, with its protections (a link in a sticky world-writable folder
// that belongs to someone else is not followed). A dangling link gets its target made, as an
// open for writing would make it. The place becomes the final target in its own folder.
bool follow_link(Place& place) {
  Fd target(::openat(place.dir.fd, place.name.c_str(), LOOK_UP_ONLY));
  bool created = false;
  if (target.fd < 0 && errno == ENOENT) {
    target.reset(::openat(place.dir.fd, place.name.c_str(),
                          O_WRONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0666));
    created = target.fd >= 0;
  }
  struct stat st {};
  std::string real;
  if (target.fd < 0 || ::fstat(target.fd, &st) != 0 || !real_path_of(target.fd, real)) {
    return false;
  }
  Place resolved;
  struct stat now {};
  if (!open_place(real, resolved) ||
      ::fstatat(resolved.dir.fd, resolved.name.c_str(), &now, AT_SYMLINK_NOFOLLOW) != 0 ||
      !same_file(now, st)) {
    return false;  // moved while it was looked up
  }
  place.dir.reset(std::exchange(resolved.dir.fd, -1));
  place.name = std::move(resolved.name);
  place.exists = true;
  place.created = created;
  place.st = st;
  return true;
}

// Finds where `path` puts the object. Only a name that does not exist counts as no object;
// any other failure to look it up is a failure.
bool locate(const std::string& path, Place& place) {
  if (!open_place(path, place)) return false;
  if (::fstatat(place.dir.fd, place.name.c_str(), &place.st, AT_SYMLINK_NOFOLLOW) != 0) {
    return errno == ENOENT;
  }
  if (S_ISLNK(place.st.st_mode)) return follow_link(place);
  place.exists = true;
  return true;
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

// Makes the cleanup signals remove a temporary file before they end the run; once, before the
// first name that lives unblocked. A signal the caller chose to ignore (nohup, a background
// job) stays ignored: its old action is put back at once, while every signal is held, so none
// comes in between.
void handle_cleanup_signals() {
  static bool handled = false;
  if (handled) return;
  handled = true;
  SignalsBlocked blocked;
  for (int sig : CLEANUP_SIGNALS) {
    struct sigaction old {};
    set_action(sig, on_fatal_signal, &old);
    if (old.sa_handler == SIG_IGN) sigaction(sig, &old, nullptr);
  }
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

// Creates the new file in the folder `dir` with permission bits `mode`; never opens an
// existing file or a link. False, with errno, when no new file may be made there.
bool create_new(NewFile& file, int dir, mode_t mode) {
  file.dir = dir;
#if defined(__linux__)
  file.fd.reset(::openat(dir, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, mode));
  if (file.fd.fd >= 0 || errno == EACCES || errno == EPERM || errno == EROFS) {
    return file.fd.fd >= 0;
  }
#endif
  handle_cleanup_signals();  // the file is written under this name
  return name_temporary(file, [&](const char* name) {
    file.fd.reset(::openat(dir, name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
    return file.fd.fd >= 0;
  });
}

// Gives an unnamed file its temporary name, for the instant before it is put in place.
bool give_name(NewFile& file) {
  if (file.named) return true;
#if defined(__linux__)
  // Through the descriptor itself where the process may (it takes a privilege), else through
  // its name in /proc.
  return name_temporary(file, [&](const char* name) {
    return ::linkat(file.fd.fd, "", file.dir, name, AT_EMPTY_PATH) == 0 ||
           (errno != EEXIST &&
            ::linkat(AT_FDCWD, ProcPath(file.fd.fd).text, file.dir, name, AT_SYMLINK_FOLLOW) == 0);
  });
#else
  return false;  // every new file has a name from the start here
#endif
}

// Whether `size` bytes fit in the file `fd`: within the file-size limit, and with the room
// reserved on the file system (where it can reserve room without changing the file).
bool room_for(int fd, std::size_t size) {
  rlimit limit{};
  if (::getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
      size > limit.rlim_cur) {
    return false;
  }
#if defined(__linux__)
  if (size > 0 && ::fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(size)) != 0 &&
      errno != EOPNOTSUPP && errno != ENOSYS) {
    return false;
  }
#else
  (void)fd;
#endif
  return true;
}

// The case where no new file may be made beside the object (a read-only folder, a sticky one):
// the earlier object, writable, is written in place. It is not touched before the new text is
// known to fit; it is then overwritten from the start and cut to the new length, with the
// cleanup signals blocked and an advisory lock held against another vorn doing the same.
bool write_in_place(const Place& place, std::string_view text) {
  Fd fd(::openat(place.dir.fd, place.name.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC));
  struct stat st {};
  if (fd.fd < 0 || ::fstat(fd.fd, &st) != 0 || !same_file(st, place.st)) return false;
  if (!S_ISREG(st.st_mode)) return write_all(fd.fd, text);  // a device or a pipe: written
  while (::flock(fd.fd, LOCK_EX) != 0) {
    if (errno != EINTR) return false;
  }
  if (!room_for(fd.fd, text.size())) return false;
  SignalsBlocked blocked;
  bool ok = write_all(fd.fd, text) && ::ftruncate(fd.fd, static_cast<off_t>(text.size())) == 0;
  return ::close(std::exchange(fd.fd, -1)) == 0 && ok;  // a late write error shows here
}

bool may_write(const Place& place) {
  return ::faccessat(place.dir.fd, place.name.c_str(), W_OK, AT_EACCESS) == 0;
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

// Writes `text` to a new file in the object's folder and puts it over the object in one step.
// When the folder allows no new file, or the object may not be replaced (a sticky folder), a
// writable earlier object is written in place instead.
bool replace_object(const Place& place, std::string_view text) {
  const mode_t mode = place.exists ? (place.st.st_mode & 0777) : 0666;
  NewFile file;
  if (!create_new(file, place.dir.fd, mode)) {
    const bool no_new_file = errno == EACCES || errno == EPERM;
    return place.exists && no_new_file && write_in_place(place, text);
  }
  bool ok = !place.exists || keep_owner_and_mode(file.fd.fd, place.st);
  ok = write_all(file.fd.fd, text) && ok;
  if (!ok) return false;
  bool refused = false;
  {
    SignalsBlocked blocked;
    if (!give_name(file)) return false;
    const bool closed = ::close(std::exchange(file.fd.fd, -1)) == 0;  // a late write error
    if (closed && ::renameat(file.dir, file.name, place.dir.fd, place.name.c_str()) == 0) {
      file.named = false;
      live_temp_name.store(nullptr);
      return true;
    }
    refused = closed && (errno == EACCES || errno == EPERM);
    file.drop_name();  // not needed for the writing in place: the text is at hand
    if (!closed) return false;
  }
  // A sticky folder lets no one replace another user's file, only write it.
  return refused && place.exists && write_in_place(place, text);
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
  if (!locate(path, place)) return false;
  // A folder or a write-protected object stays as it is; a device or a pipe is written, never
  // replaced.
  const bool refused = place.exists && (S_ISDIR(place.st.st_mode) || !may_write(place));
  const bool ok =
      !refused && (place.exists && !S_ISREG(place.st.st_mode) ? write_in_place(place, text)
                                                              : replace_object(place, text));
  if (!ok && place.created) {
    // The empty target that a dangling link was given goes again, unless it changed meanwhile.
    struct stat now {};
    if (::fstatat(place.dir.fd, place.name.c_str(), &now, AT_SYMLINK_NOFOLLOW) == 0 &&
        same_file(now, place.st) && now.st_size == 0) {
      ::unlinkat(place.dir.fd, place.name.c_str(), 0);
    }
  }
  return ok;
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
