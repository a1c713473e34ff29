// Runs several commands in turn, RUNS rounds, and prints for each command (one line each, in
// the order given) the median wall time in milliseconds, the peak resident memory in KiB and the
// median number of page faults.
// Taking the commands in turn within each round spreads the machine's noise over all of them.
//   measure RUNS COMMAND [ARGS...] [-- COMMAND [ARGS...]]...
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

struct Command {
  std::vector<char*> argv;
  std::vector<double> ms;
  std::vector<long> faults;
  long max_rss_kib = 0;
};

// Runs one command with its output discarded. Returns false when it could not run.
bool run_once(Command& c) {
  auto start = std::chrono::steady_clock::now();
  pid_t pid = fork();
  if (pid == 0) {
    int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    execvp(c.argv[0], c.argv.data());
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  auto end = std::chrono::steady_clock::now();
  if (!WIFEXITED(status) || WEXITSTATUS(status) == 127) return false;
  c.ms.push_back(std::chrono::duration<double, std::milli>(end - start).count());
  c.max_rss_kib = std::max(c.max_rss_kib, usage.ru_maxrss);
  c.faults.push_back(usage.ru_minflt + usage.ru_majflt);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: measure RUNS COMMAND [ARGS...] [-- COMMAND [ARGS...]]...\n");
    return 2;
  }
  const int runs = std::atoi(argv[1]);
  std::vector<Command> commands(1);
  for (int k = 2; k < argc; ++k) {
    if (std::strcmp(argv[k], "--") == 0) {
      commands.emplace_back();
    } else {
      commands.back().argv.push_back(argv[k]);
    }
  }
  for (Command& c : commands) c.argv.push_back(nullptr);
  for (int round = 0; round < runs; ++round) {
    for (Command& c : commands) {
      if (!run_once(c)) {
        std::fprintf(stderr, "measure: %s failed\n", c.argv[0]);
        return 1;
      }
    }
  }
  for (Command& c : commands) {
    std::sort(c.ms.begin(), c.ms.end());
    std::sort(c.faults.begin(), c.faults.end());
    std::printf("%.3f %ld %ld\n", c.ms[c.ms.size() / 2], c.max_rss_kib, c.faults[c.faults.size() / 2]);
  }
  return 0;
}
