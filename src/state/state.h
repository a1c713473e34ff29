// The state of one assembly: the reader, the symbol table, and the code image, item list and
// fixup list that pass one fills and pass two reads.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "source_reader/source_reader.h"
#include "state/listing.h"
#include "symtab/symtab.h"

namespace vorn {

constexpr int CODE_SIZE = 2000;   // code addresses 0 to 1999
constexpr int MAX_ITEMS = 5000;   // section markers and data items
constexpr int MAX_FIXUPS = 2000;  // at most one per instruction

struct CodeWord {
  std::int32_t op;
  std::int32_t a;
  std::int32_t b;
  std::int32_t c;  // the only field a fixup patches
};

struct Item {
  Kind kind;           // KIND_CODE, KIND_DATA, KIND_NUMBER, KIND_NAME or KIND_END
  std::int32_t value;  // origin, number, symbol index, or data end
};

struct Fixup {
  std::int32_t address;  // code word whose field c waits for the symbol
  std::int32_t symbol;
};

/// Where each part of the program came from in the source: kept only when a caller asks for a
/// listing (the command line never does), filled by the two passes as they go.
struct SourceMap {
  std::array<std::int64_t, CODE_SIZE> code_line{};  // the instruction's line, per address
  std::array<Place, MAX_ITEMS> item_place{};        // each item's token (a marker's: the origin)
  std::array<Place, MAX_FIXUPS> fixup_place{};      // the name of each forward reference
  struct Definition {
    int symbol;
    std::int64_t line;
    bool label;  // else a constant of the symbol section
  };
  std::vector<Definition> definitions;  // in the order of the source
  struct Use {
    int symbol;
    Place place;
    bool definition;
  };
  std::vector<Use> uses;  // every name of the program where it stands
  Place error;            // the token a pass-two diagnostic names
};

/// Everything one run of the assembler works on. A new one is a fresh assembler.
struct Assembly {
  SourceReader reader;
  SymbolTable symtab;
  std::vector<CodeWord> code;  // from address 0 to the last instruction's
  std::vector<Item> items;
  std::vector<Fixup> fixups;
  std::int32_t code_loc = 0;  // code location; after pass one, the code end
  std::int64_t data_loc = 0;  // data location; after pass one, the data end
  SourceMap* map = nullptr;   // set when a listing is wanted
};

/// A fresh assembly, its tables with room for what they may hold.
inline std::unique_ptr<Assembly> new_assembly() {
  auto as = std::make_unique<Assembly>();
  as->symtab.entries.reserve(MAX_SYMBOLS);
  as->code.reserve(CODE_SIZE);
  as->items.reserve(MAX_ITEMS);
  as->fixups.reserve(MAX_FIXUPS);
  return as;
}

/// Records that symbol `index` is defined on the current line, as a label or a constant, when
/// a listing is wanted.
void map_definition(Assembly& as, int index, bool label);

/// Records where symbol `index` stands, when a listing is wanted: as `text`, a part of the
/// current token; a definition or a use. Only the program's own names are recorded, not the
/// predefined ones.
void map_use(Assembly& as, int index, std::string_view text, bool definition);

/// Appends an item; "out of memory" when the list is full.
void item_append(Assembly& as, Kind kind, std::int32_t value);

/// The name_hash of `name`, the current token or a part of it.
std::uint32_t name_hash_of(const SourceReader& r, std::string_view name);

/// The index of `name`, the current token or a part of it, in the symbol table, entered when
/// absent; "too many symbols, increase table size" when the table is full.
int intern(Assembly& as, std::string_view name);

/// Records that field c of the word at `address` takes the value of `symbol` in pass two;
/// `name` is the symbol's text in the current token.
void fixup_add(Assembly& as, std::int32_t address, std::int32_t symbol, std::string_view name);

/// Where `text`, a part of the current token, stands in the source; once the input has ended,
/// the line last entered.
Place token_place(const SourceReader& r, std::string_view text);

}  // namespace vorn
