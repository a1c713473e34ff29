// Assembles one source in-process RUNS times and prints the median time of one run in
// milliseconds: the native figure that the WebAssembly module's time is set against.
//   inprocess RUNS FILE
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

#include "assembler/assembler.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: inprocess RUNS FILE\n");
    return 2;
  }
  const int runs = std::max(1, std::atoi(argv[1]));
  std::ifstream in(argv[2], std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  const std::string source = text.str();
  std::vector<double> ms;
  for (int k = 0; k < runs; ++k) {
    auto start = std::chrono::steady_clock::now();
    vorn::RunResult r = vorn::assemble_text(source, "a_capacity.obj");
    auto end = std::chrono::steady_clock::now();
    if (!r.ok) {
      std::fprintf(stderr, "inprocess: %s", r.output.c_str());
      return 1;
    }
    ms.push_back(std::chrono::duration<double, std::milli>(end - start).count());
  }
  std::sort(ms.begin(), ms.end());
  std::printf("%.3f\n", ms[ms.size() / 2]);
  return 0;
}
