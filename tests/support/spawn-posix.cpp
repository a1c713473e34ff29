// Starting a program on POSIX systems: fork and exec, with standard output in a file.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#if defined(__linux__)
#include <sys/ptrace.h>
#endif
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>

#include "support/spawn.h"

namespace vorn::platform {

namespace {

// An unnamed scratch file for one output stream.
int scratch_file() {
  char path[] = "/tmp/vorn-spawn-XXXXXX";
  int fd = mkstemp(path);
  if (fd >= 0) unlink(path);
  return fd;
}

std::string read_back(int fd) {
  std::string text;
  char buf[65536];
  lseek(fd, 0, SEEK_SET);
  for (ssize_t n; (n = read(fd, buf, sizeof buf)) > 0;)
    text.append(buf, static_cast<std::size_t>(n));
  close(fd);
  return text;
}

bool has_temporary(const std::string& dir) {
  DIR* d = opendir(dir.empty() ? "." : dir.c_str());
  if (d == nullptr) return false;
  bool found = false;
  while (dirent* e = readdir(d)) {
    std::size_t n = std::strlen(e->d_name);
    if (n > 4 && std::strcmp(e->d_name + n - 4, ".tmp") == 0) found = true;
  }
  closedir(d);
  return found;
}

// Steps the traced child from system call to system call until a temporary file exists, then
// sends it the signal and lets it run on. Only Linux traces system calls this way; elsewhere
// the child runs untraced and the caller is told the signal was not sent.
bool signal_at_temporary(pid_t pid, const SpawnOptions& options) {
#if defined(__linux__)
  int status = 0;
  if (waitpid(pid, &status, 0) != pid || !WIFSTOPPED(status)) return false;  // stop at exec
  int pass_on = 0;
  for (;;) {
    if (ptrace(PTRACE_SYSCALL, pid, nullptr, pass_on) != 0) return false;
    if (waitpid(pid, &status, 0) != pid || !WIFSTOPPED(status)) return false;
    pass_on = WSTOPSIG(status) == SIGTRAP ? 0 : WSTOPSIG(status);
    if (has_temporary(options.cwd)) {
      kill(pid, options.signal_on_temporary);
      ptrace(PTRACE_DETACH, pid, nullptr, 0);
      return true;
    }
  }
#else
  (void)pid;
  (void)has_temporary(options.cwd);
  return false;
#endif
}

}  // namespace

std::string short_name_of(const std::string&) {
  return {};
}

bool make_symbolic_link(const std::string& target, const std::string& link) {
  return symlink(target.c_str(), link.c_str()) == 0;
}

long current_user() {
  return static_cast<long>(getuid());
}

SpawnResult spawn(const std::string& program, const std::vector<std::string>& args,
                  const SpawnOptions& options) {
  SpawnResult result;
  int out_fd = scratch_file();
  int err_fd = scratch_file();
  int pipe_fds[2] = {-1, -1};
  if (options.out == StdoutTo::closed_pipe && pipe(pipe_fds) == 0) close(pipe_fds[0]);
  pid_t pid = fork();
  if (pid == 0) {
    // A full device is Linux's /dev/full (FreeBSD has one too); elsewhere the child fails.
    int out = options.out == StdoutTo::full_device   ? open("/dev/full", O_WRONLY)
              : options.out == StdoutTo::closed_pipe ? pipe_fds[1]
                                                     : out_fd;
    if (out < 0 || dup2(out, 1) < 0 || dup2(err_fd, 2) < 0) _exit(127);
    if (options.out == StdoutTo::closed) close(1);
    if (!options.cwd.empty() && chdir(options.cwd.c_str()) != 0) _exit(127);
    signal(SIGPIPE, SIG_DFL);
    rlimit no_core{0, 0};  // a signal that dumps core leaves no core file in the folder
    setrlimit(RLIMIT_CORE, &no_core);
    if (options.file_size_limit != 0) {
      rlimit lim{options.file_size_limit, options.file_size_limit};
      setrlimit(RLIMIT_FSIZE, &lim);
    }
    if (options.memory_limit != 0) {
      rlimit lim{options.memory_limit, options.memory_limit};
      setrlimit(RLIMIT_AS, &lim);
    }
    if (options.user >= 0) {
      auto id = static_cast<uid_t>(options.user);
      if (setgid(id) != 0 || setuid(id) != 0) _exit(127);
    }
#if defined(__linux__)
    if (options.signal_on_temporary != 0) ptrace(PTRACE_TRACEME, 0, nullptr, nullptr);
#endif
    if (!options.preload.empty()) setenv("LD_PRELOAD", options.preload.c_str(), 1);
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  if (pipe_fds[1] >= 0) close(pipe_fds[1]);
  if (pid < 0) return result;
  if (options.signal_on_temporary != 0) {
    result.signalled_with_temporary = signal_at_temporary(pid, options);
  }
  int wstatus = 0;
  waitpid(pid, &wstatus, 0);
  result.started = !(WIFEXITED(wstatus) && WEXITSTATUS(wstatus) == 127);
  result.signal = WIFSIGNALED(wstatus) ? WTERMSIG(wstatus) : 0;
  result.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + result.signal;
  result.out = read_back(out_fd);
  result.err = read_back(err_fd);
  return result;
}

}  // namespace vorn::platform
