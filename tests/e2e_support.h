// Helpers of the end-to-end tests: scratch folders, files, and running the real executable.
#pragma once

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace vorn::e2e {

namespace fs = std::filesystem;

inline std::string read_file(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

inline void write_file(const fs::path& p, const std::string& text) {
  std::ofstream(p, std::ios::binary) << text;
}

struct Outcome {
  int status;
  std::string out;
};

// Runs `program args...` in `cwd`, with the file-size limit `fsize`, and collects its output.
inline Outcome run_in(const fs::path& cwd, const std::string& program,
                      const std::vector<std::string>& args, rlim_t fsize = RLIM_INFINITY) {
  fs::path out_path = fs::temp_directory_path() / ("vorn-e2e-out-" + std::to_string(getpid()));
  pid_t pid = fork();
  if (pid == 0) {
    int fd = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd < 0 || dup2(fd, 1) < 0 || chdir(cwd.c_str()) != 0) _exit(127);
    if (fsize != RLIM_INFINITY) {
      signal(SIGXFSZ, SIG_IGN);
      rlimit lim{fsize, fsize};
      setrlimit(RLIMIT_FSIZE, &lim);
    }
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  int wstatus = 0;
  waitpid(pid, &wstatus, 0);
  Outcome r{WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus),
            read_file(out_path)};
  fs::remove(out_path);
  return r;
}

inline Outcome run_vorn(const fs::path& cwd, const std::vector<std::string>& args,
                        rlim_t fsize = RLIM_INFINITY) {
  return run_in(cwd, VORN_BINARY, args, fsize);
}

inline std::vector<std::string> sorted_files(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::recursive_directory_iterator(dir)) {
    names.push_back(e.path().lexically_relative(dir).string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

struct ScratchDir {
  fs::path path;
  ScratchDir() {
    char tmpl[] = "/tmp/vorn-e2e-XXXXXX";
    path = mkdtemp(tmpl);
  }
  ~ScratchDir() { fs::remove_all(path); }
};

}  // namespace vorn::e2e
