#include "diagnostics/diagnostics.h"

namespace vorn {

std::string format_pass_one(std::int64_t line_no, std::string_view message, std::string_view token,
                            std::string_view line) {
  std::string text;
  text.append("line ").append(std::to_string(line_no)).append(" error: ");
  text.append(message).append(" symbol ").append(token).append("\n");
  if (line_no > 0) text.append(line).append("\n");
  return text;
}

std::string format_pass_two(std::string_view message) {
  std::string text("error: ");
  text.append(message).append("\n");
  return text;
}

std::string whole_line(std::string_view text) {
  std::string line(text);
  line.push_back('\n');
  return line;
}

}  // namespace vorn
