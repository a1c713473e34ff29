// The command line: one source path in, its object file out.
#pragma once

#include <string>
#include <vector>

namespace vorn {

constexpr int EXIT_OK = 0;
constexpr int EXIT_ERROR = 1;  // any error: assembly, input, object path or object file
constexpr int EXIT_USAGE = 2;

/// Runs the assembler on args[1] (args[0] is the program), leaving in `out` what goes to
/// standard output, with the platform's text newline. Returns the exit status.
int run_command_line(const std::vector<std::string>& args, std::string& out);

/// `text` with each "\n" written as the platform's text newline: the one place where output
/// newlines are made, for the object file and every message alike ("\r\n" on Windows).
std::string with_text_newlines(std::string text);

}  // namespace vorn
