// Fuzz target: assembles the input bytes as a source, in-process, and checks what came out.
// A run either fails with exactly one diagnostic in one of the two formats, or succeeds with
// an object text whose structure holds. Anything else aborts, which the fuzzer reports.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "assembler/assembler.h"
#include "diagnostics/diagnostics.h"

namespace {

[[noreturn]] void fail(const char* what, std::string_view text) {
  std::fprintf(stderr, "oracle: %s\n--- output ---\n%.*s\n--------------\n", what,
               static_cast<int>(text.size() > 2000 ? 2000 : text.size()), text.data());
  std::abort();
}

bool consume(std::string_view& s, std::string_view prefix) {
  if (s.substr(0, prefix.size()) != prefix) return false;
  s.remove_prefix(prefix.size());
  return true;
}

// A decimal 32-bit integer as written: "0", or an optional "-" and digits without a leading 0.
bool consume_int(std::string_view& s, std::int64_t& value) {
  std::size_t i = (!s.empty() && s[0] == '-') ? 1 : 0;
  std::size_t digits = 0;
  std::int64_t v = 0;
  while (i + digits < s.size() && s[i + digits] >= '0' && s[i + digits] <= '9') {
    if (digits > 10) return false;
    v = v * 10 + (s[i + digits] - '0');
    ++digits;
  }
  if (digits == 0 || (digits > 1 && s[i] == '0') || (i == 1 && v == 0)) return false;
  value = i == 1 ? -v : v;
  if (value < INT32_MIN || value > INT32_MAX) return false;
  s.remove_prefix(i + digits);
  return true;
}

// One line of `count` numbers, each followed by ",", separated by single spaces.
bool consume_numbers(std::string_view& s, int count, std::int64_t* first, std::int64_t* second) {
  for (int k = 0; k < count; ++k) {
    std::int64_t v = 0;
    if (k > 0 && !consume(s, " ")) return false;
    if (!consume_int(s, v) || !consume(s, ",")) return false;
    if (k == 0 && first != nullptr) *first = v;
    if (k == 1 && second != nullptr) *second = v;
  }
  return consume(s, "\n");
}

void check_object(std::string_view s) {
  const std::string_view whole = s;
  if (!consume(s, "var obj =[  // fuzz.obj\n")) fail("object header", whole);
  std::int64_t origin = 0;
  std::int64_t end = 0;
  if (!consume_numbers(s, 2, &origin, &end)) fail("code header", whole);
  for (std::int64_t a = 0; a < end; ++a) {
    if (!consume_numbers(s, 4, nullptr, nullptr)) fail("code line", whole);
  }
  std::int64_t count = 0;
  if (!consume_numbers(s, 2, &origin, &count) || count < 0) fail("data header", whole);
  for (std::int64_t k = 0; k < count; ++k) {
    std::int64_t v = 0;
    if (!consume_int(s, v) || !consume(s, ", \n")) fail("data line", whole);
  }
  if (s != "0];\n") fail("closing line", whole);
}

bool is_token(std::string_view t) {
  return t.find_first_of(" \t\n") == std::string_view::npos;
}

void check_diagnostic(std::string_view s) {
  const std::string_view whole = s;
  namespace msg = vorn::msg;
  static const std::string_view pass1_messages[] = {msg::UNEXPECTED_END_OF_FILE,
                                                    msg::EXPECT_SYMBOL,
                                                    msg::DUPLICATE_SYMBOL,
                                                    msg::EXPECT_NUMBER,
                                                    msg::NUMBER_OUT_OF_RANGE,
                                                    msg::DUPLICATE_LABEL,
                                                    msg::EXPECT_LABEL,
                                                    msg::UNDEFINED_OP,
                                                    msg::UNDEFINE_OP,
                                                    msg::CODE_ADDRESS_OUT_OF_RANGE,
                                                    msg::OUT_OF_MEMORY,
                                                    msg::EXPECT_REGISTER,
                                                    msg::EXPECT_ADS,
                                                    msg::EXPECT_CONSTANT,
                                                    msg::UNDEFINE_SYMBOL,
                                                    msg::TOO_MANY_SYMBOLS};
  if (consume(s, "line ")) {
    std::int64_t line = 0;
    if (!consume_int(s, line) || line < 0 || !consume(s, " error: ")) fail("line prefix", whole);
    bool known = false;
    for (std::string_view m : pass1_messages) {
      if (consume(s, std::string(m) + " symbol ")) {
        known = true;
        break;
      }
    }
    if (!known) fail("pass-one message", whole);
    std::size_t nl = s.find('\n');
    if (nl == std::string_view::npos || !is_token(s.substr(0, nl))) fail("token", whole);
    s.remove_prefix(nl + 1);
    if (line == 0) {
      if (!s.empty()) fail("no line read, but a line shown", whole);
    } else if (s.empty() || s.back() != '\n' || s.find('\n') != s.size() - 1) {
      fail("source line", whole);
    }
    return;
  }
  for (const std::string& known :
       {vorn::format_pass_two(msg::UNDEFINE_OP), vorn::format_pass_two(msg::UNDEFINED_SYMBOL),
        vorn::whole_line(msg::MACHINE_OUT_OF_MEMORY), vorn::whole_line(msg::INPUT_IS_UTF16)}) {
    if (s == known) return;
  }
  const std::string tail = " " + vorn::format_pass_two(msg::UNDEFINE_SYMBOL);
  if (s.size() > tail.size() && s.substr(s.size() - tail.size()) == tail &&
      is_token(s.substr(0, s.size() - tail.size()))) {
    return;
  }
  fail("diagnostic format", whole);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view source(reinterpret_cast<const char*>(data), size);
  vorn::RunResult r = vorn::assemble_text(source, "fuzz.obj");
  if (r.ok) {
    if (!r.output.empty()) fail("output on success", r.output);
    check_object(r.object);
  } else {
    if (!r.object.empty()) fail("object text on failure", r.object);
    check_diagnostic(r.output);
  }
  return 0;
}
