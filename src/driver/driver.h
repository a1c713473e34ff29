// The command line: one source path in, its object file out.
#pragma once

#include <cstdio>

namespace vorn {

constexpr int EXIT_OK = 0;
constexpr int EXIT_ERROR = 1;  // any error: assembly, input, object path or object file
constexpr int EXIT_USAGE = 2;

/// Runs the assembler on argv[1], printing messages to `out`. Returns the exit status.
int run_command_line(int argc, const char* const* argv, std::FILE* out);

}  // namespace vorn
