// The listing of an assembled program: every code word and data word with the source line it
// came from, and the program's own symbols. Made only when a caller asks for it.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace vorn {

/// Where a token stands in the source: its line (the first is 1), and its first byte and its
/// length in bytes on that line (a byte-order mark counts on the first line). Line 0: nowhere;
/// length 0: the whole line.
struct Place {
  std::int64_t line = 0;
  std::int64_t column = 0;
  std::int64_t length = 0;
};

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

struct NameUse {
  std::string name;
  Place place;      // the name's text, without a label's ":" or a prefix
  bool definition;  // where a label or a constant is defined; else a use
};

struct Listing {
  std::vector<CodeRow> code;
  std::vector<DataRow> data;
  std::vector<SymbolRow> symbols;  // in the order of their definitions
  std::vector<NameUse> uses;  // every place a name of the program stands, in the order of the
                              // source: also when the run ends with an error, up to it
  Place error;  // the token the diagnostic names, in either pass (for pass two, the first use
                // that failed, or the code origin)
};

}  // namespace vorn
