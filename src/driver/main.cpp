// vorn: assembles one source file into its object file.
#include <cstdlib>
#include <exception>
#include <new>
#include <string>

#include "diagnostics/diagnostics.h"
#include "driver/driver.h"
#include "platform/platform.h"

namespace {

// What ends the process when an exception escapes where none may (a fault of vorn's own, as
// every error a source or the system can cause is caught and reported): a line on the error
// stream with what the exception says, then an abnormal end. Nothing here asks for memory.
// With no exception at all, the runtime found no memory even to throw std::bad_alloc (it ends
// the run this way then): that is the run's own "out of memory".
[[noreturn]] void on_terminate() noexcept {
  namespace platform = vorn::platform;
  const std::exception_ptr e = std::current_exception();
  if (!e) {
    platform::write_stdout(vorn::msg::MACHINE_OUT_OF_MEMORY);
    platform::write_stdout(platform::text_newline());
    std::_Exit(vorn::EXIT_ERROR);
  }
  const char* what = "";
  try {
    std::rethrow_exception(e);
  } catch (const std::exception& x) {
    what = x.what();
  } catch (...) {
  }
  platform::write_stderr("vorn: internal error");
  if (*what != '\0') {
    platform::write_stderr(": ");
    platform::write_stderr(what);
  }
  platform::write_stderr(platform::text_newline());
  std::abort();
}

}  // namespace

int main(int argc, char** argv) {
  std::set_terminate(on_terminate);
  namespace platform = vorn::platform;
  platform::process_setup();
  std::string out;
  int status = vorn::EXIT_ERROR;
  bool out_of_memory = false;
  try {
    status = vorn::run_command_line(platform::command_line(argc, argv), out);
  } catch (const std::bad_alloc&) {
    // Memory ran out around the assembly (its tables, the arguments, the object's path), which
    // catches its own: said without asking for more.
    out_of_memory = true;
  }
  // A message that cannot be written is said on the error stream; the status stands.
  const bool said = out_of_memory ? platform::write_stdout(vorn::msg::MACHINE_OUT_OF_MEMORY) &&
                                        platform::write_stdout(platform::text_newline())
                                  : out.empty() || platform::write_stdout(out);
  if (!said) {
    platform::write_stderr(vorn::msg::CANNOT_WRITE_STDOUT);
    platform::write_stderr(platform::text_newline());
    if (status == vorn::EXIT_OK) status = vorn::EXIT_ERROR;
  }
  return status;
}
