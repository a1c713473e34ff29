// vorn: assembles one source file into its object file.
#include <cstdlib>
#include <exception>
#include <string>

#include "diagnostics/diagnostics.h"
#include "driver/driver.h"
#include "platform/platform.h"

namespace {

// What ends the process when an exception escapes where none may (a fault of vorn's own, as
// every error a source or the system can cause is caught and reported): a line on the error
// stream with what the exception says, then an abnormal end.
[[noreturn]] void on_terminate() noexcept {
  std::string line = "vorn: internal error";
  try {
    if (std::exception_ptr e = std::current_exception()) std::rethrow_exception(e);
  } catch (const std::exception& e) {
    line = line + ": " + e.what();
  } catch (...) {
  }
  vorn::platform::write_stderr(vorn::with_text_newlines(vorn::line_of(line)));
  std::abort();
}

}  // namespace

#if defined(__GLIBCXX__)
// The GNU C++ runtime's own first handler, the verbose one, would bring in its name demangler
// and the C library's stdio, and with them six more imports to bind at every start; vorn's
// handler takes its place from the start instead.
namespace __cxxabiv1 {
extern std::terminate_handler __terminate_handler;
std::terminate_handler __terminate_handler = on_terminate;
}  // namespace __cxxabiv1
#endif

int main(int argc, char** argv) {
#if !defined(__GLIBCXX__)
  std::set_terminate(on_terminate);
#endif
  vorn::platform::process_setup();
  std::string out;
  int status = vorn::run_command_line(vorn::platform::command_line(argc, argv), out);
  // A message that cannot be written is said on the error stream; the status stands.
  if (!out.empty() && !vorn::platform::write_stdout(out)) {
    vorn::platform::write_stderr(
        vorn::with_text_newlines(vorn::line_of(vorn::msg::CANNOT_WRITE_STDOUT)));
    if (status == vorn::EXIT_OK) status = vorn::EXIT_ERROR;
  }
  return status;
}
