// Helpers shared by the unit tests: run pass one on a text and look at what it left.
#pragma once

#include <memory>
#include <string>

#include "assembler/assembler.h"
#include "state/state.h"
#include "isa/isa.h"
#include "pass1/pass1.h"
#include "support/files.h"

namespace vorn::test {

/// Pass one over `text`, with the state it left and the diagnostic it ended with, if any.
struct Pass1Run {
  std::string text;
  std::unique_ptr<Assembly> as = new_assembly();
  std::string error;

  CodeWord word(int address) const {
    const auto at = static_cast<std::size_t>(address);
    return at < as->code.size() ? as->code[at] : CodeWord{};
  }
};

inline std::unique_ptr<Pass1Run> pass1(std::string text) {
  auto run = std::make_unique<Pass1Run>();
  run->text = std::move(text);
  reader_from_text(run->as->reader, run->text);
  try {
    load_predefined(run->as->symtab);
    run_pass1(*run->as);
  } catch (const AsmError& e) {
    run->error = e.text;
  }
  return run;
}

/// The index of `name` in `t`, or -1.
inline int find(const SymbolTable& t, std::string_view name) {
  return sym_find(t, name, name_hash(name));
}

/// The source text of a program whose code section is `code` and data section `data`.
inline std::string program(const std::string& code, const std::string& data = "") {
  return ".SYMBOL\n.CODE 0\n" + code + "\n.DATA 0 " + data + "\n.END\n";
}

}  // namespace vorn::test
