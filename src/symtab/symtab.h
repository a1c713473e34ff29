// The one symbol table: predefined names, constants, labels and every name met in an operand or
// a data item. A name is known everywhere by its index, given in the order the names are
// entered, which never changes.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "symtab/name_hash.h"

namespace vorn {

constexpr int MAX_SYMBOLS = 3959;  // names the table holds, the predefined ones included
constexpr std::int32_t UNDEFINED_VALUE = INT32_MIN;  // the value of a name not yet defined

/// Kind codes kept in symbol entries, items and operand results, each a lower-case letter's
/// character code. A scoped type, so that a kind is never taken for a value; its names stand
/// unqualified in the code.
enum class Kind : std::uint8_t {
  KIND_NAME = 'n',
  KIND_NUMBER = 'o',
  KIND_PREDEFINED = 'p',
  KIND_CODE = 'r',
  KIND_DATA = 's',
  KIND_END = 't',
  KIND_UNRESOLVED = 'u',
};
using enum Kind;

struct SymbolEntry {
  std::uint32_t hash;
  std::uint32_t name_offset;  // where the name starts in `SymbolTable::names`
  std::uint32_t name_length;
  std::int32_t value;
  Kind kind;
};

constexpr int NAME_INDEX_SIZE = 8192;  // cells of the name index

struct SymbolTable {
  std::vector<SymbolEntry> entries;  // in the order the names were entered
  std::array<std::uint16_t, NAME_INDEX_SIZE> name_index{};
  std::string names;  // every name entered, back to back
};

/// What sym_intern returns when `name` is absent and the table is full; the caller reports it.
constexpr int SYMTAB_FULL = -1;

/// The index of `name`, whose name_hash is `hash`, entered first (undefined, KIND_NAME) when
/// absent; SYMTAB_FULL when it would be the entry past MAX_SYMBOLS. Names beyond 4 GiB in all
/// throw std::bad_alloc.
int sym_intern(SymbolTable& t, std::string_view name, std::uint32_t hash);

/// The index of `name`, whose name_hash is `hash`, or -1 when absent. Never enters it.
int sym_find(const SymbolTable& t, std::string_view name, std::uint32_t hash);

/// Overwrites the value and kind of entry `index`.
void sym_set(SymbolTable& t, int index, std::int32_t value, Kind kind);

std::int32_t sym_value(const SymbolTable& t, int index);
Kind sym_kind(const SymbolTable& t, int index);
std::string_view sym_name(const SymbolTable& t, int index);

}  // namespace vorn
