// vorn: assembles one source file into its object file.
#include <csignal>
#include <cstdio>

#include "driver/driver.h"

int main(int argc, char** argv) {
  // A file-size limit must fail the write, so the error is reported, not kill the process.
  std::signal(SIGXFSZ, SIG_IGN);
  return vorn::run_command_line(argc, argv, stdout);
}
