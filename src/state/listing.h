// The listing of an assembled program: every code word and data word with the source line it
// came from, and the program's own symbols. Made only when a caller asks for it.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace vorn {

struct CodeRow {
  std::int32_t address;
  std::array<std::int32_t, 4> words;  // as the object file holds them
  std::int64_t line;                  // of the instruction; 0 for an address none filled
};

struct DataRow {
  std::int64_t address;
  std::int32_t value;
  std::int64_t line;
};

struct SymbolRow {
  std::string name;
  bool label;  // a label (its value a code address), else a constant of the symbol section
  std::int32_t value;
  std::int64_t line;  // where it is defined
};

struct Listing {
  std::vector<CodeRow> code;
  std::vector<DataRow> data;
  std::vector<SymbolRow> symbols;  // in the order of their definitions
  std::int64_t error_line = 0;     // the line the diagnostic concerns, in either pass; 0: none
};

}  // namespace vorn
