// vorn: assembles one source file into its object file.
#include <string>

#include "diagnostics/diagnostics.h"
#include "driver/driver.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
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
