// Diagnostics: the error that ends a run, the two formats it is printed in, and every message
// text of the system, each in one place.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vorn {

/// An error that ends the run. `text` is the finished diagnostic, exactly as it is printed.
struct AsmError {
  std::string text;
};

/// Every message of the system. Pass-one and pass-two messages are filled into their format;
/// the other texts are whole lines, printed as they are with a newline after them.
namespace msg {
// Pass one, in the form "line N error: MESSAGE symbol TOKEN" and the source line.
constexpr std::string_view EXPECT_SYMBOL = "expect .symbol";
constexpr std::string_view DUPLICATE_SYMBOL = "duplicate symbol";
constexpr std::string_view EXPECT_NUMBER = "expect number";
constexpr std::string_view NUMBER_OUT_OF_RANGE = "number out of range";
constexpr std::string_view DUPLICATE_LABEL = "duplicate label";
constexpr std::string_view EXPECT_LABEL = "expect label";
constexpr std::string_view UNDEFINED_OP = "undefined op";
constexpr std::string_view UNDEFINE_OP = "undefine op";  // also in pass two
constexpr std::string_view CODE_ADDRESS_OUT_OF_RANGE = "code address out of range";
constexpr std::string_view EXPECT_REGISTER = "expect register";
constexpr std::string_view EXPECT_ADS = "expect ads";
constexpr std::string_view EXPECT_CONSTANT = "expect constant";
constexpr std::string_view UNDEFINE_SYMBOL = "undefine symbol";  // also in pass two
constexpr std::string_view OUT_OF_MEMORY = "out of memory";
// The message breaks the first line: its own newline stands before " symbol TOKEN".
constexpr std::string_view TOO_MANY_SYMBOLS = "too many symbols, increase table size\n";
constexpr std::string_view UNEXPECTED_END_OF_FILE = "unexpected end of file";
// Pass two, in the form "error: MESSAGE".
constexpr std::string_view UNDEFINED_SYMBOL = "undefined symbol";
// Whole lines, outside the two passes.
constexpr std::string_view USAGE = "usage : vorn inputfile";
constexpr std::string_view INPUT_FILE_NOT_FOUND = "input file not found";
constexpr std::string_view OBJECT_WOULD_REPLACE_SOURCE = "object file would replace source";
constexpr std::string_view CANNOT_WRITE_OBJECT = "error: cannot write object file";
constexpr std::string_view CANNOT_READ_INPUT = "error: cannot read input file";
constexpr std::string_view INPUT_IS_UTF16 = "error: input file is UTF-16, not UTF-8";
constexpr std::string_view MACHINE_OUT_OF_MEMORY = "error: out of memory";
// On the error stream, when standard output cannot be written.
constexpr std::string_view CANNOT_WRITE_STDOUT = "vorn: cannot write standard output";

/// Every message of the two passes, in the order above.
inline constexpr std::string_view ASSEMBLY[] = {
    EXPECT_SYMBOL,          DUPLICATE_SYMBOL, EXPECT_NUMBER,
    NUMBER_OUT_OF_RANGE,    DUPLICATE_LABEL,  EXPECT_LABEL,
    UNDEFINED_OP,           UNDEFINE_OP,      CODE_ADDRESS_OUT_OF_RANGE,
    EXPECT_REGISTER,        EXPECT_ADS,       EXPECT_CONSTANT,
    UNDEFINE_SYMBOL,        OUT_OF_MEMORY,    TOO_MANY_SYMBOLS,
    UNEXPECTED_END_OF_FILE, UNDEFINED_SYMBOL};
}  // namespace msg

/// The pass-one diagnostic: "line N error: MESSAGE symbol TOKEN", then the source line as
/// written (none before the first line is read, N = 0).
std::string format_pass_one(std::int64_t line_no, std::string_view message, std::string_view token,
                            std::string_view line);

/// The pass-two diagnostic: "error: MESSAGE".
std::string format_pass_two(std::string_view message);

/// A whole-line message with its newline.
std::string whole_line(std::string_view text);

}  // namespace vorn
