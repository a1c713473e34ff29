// The one symbol table: predefined names, constants, labels and every name met in an operand or
// a data item. A name is known everywhere by the index of its slot, which never changes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vorn {

struct SourceReader;

constexpr int SYMTAB_SIZE = 7919;  // slots, a prime
constexpr int MAX_SYMBOLS = 3959;  // insertions allowed, so the table stays at most half full
constexpr std::int32_t UNDEFINED_VALUE = INT32_MIN;  // the value of a name not yet defined

/// Kind codes kept in symbol entries, items and operand results.
constexpr std::int32_t KIND_NAME = 'n';
constexpr std::int32_t KIND_NUMBER = 'o';
constexpr std::int32_t KIND_PREDEFINED = 'p';
constexpr std::int32_t KIND_CODE = 'r';
constexpr std::int32_t KIND_DATA = 's';
constexpr std::int32_t KIND_END = 't';
constexpr std::int32_t KIND_UNRESOLVED = 'u';

struct SymbolEntry {
  std::size_t name_offset;  // where the name starts in `SymbolTable::names`
  std::size_t name_length;
  std::int32_t value;
  std::int32_t kind;
};

struct SymbolTable {
  // A fingerprint of the name in each slot, 0 for an empty slot; probing compares it before
  // comparing names, so a long probe run costs integer compares.
  std::array<std::uint32_t, SYMTAB_SIZE> fingerprint{};
  std::array<SymbolEntry, SYMTAB_SIZE> entries{};
  std::string names;  // every stored name, back to back, whole whatever its length
  int symbol_count = 0;
};

/// The home slot of `name`: the sum of its bytes, taken as unsigned, modulo SYMTAB_SIZE.
int sym_hash(std::string_view name);

/// The slot holding `name`, inserted first (undefined, KIND_NAME) when absent. The insertion
/// past MAX_SYMBOLS ends the run with "too many symbols, increase table size".
int sym_intern(SymbolTable& t, const SourceReader& r, std::string_view name);

/// The slot holding `name`, or -1 when absent. Never inserts.
int sym_find(const SymbolTable& t, std::string_view name);

/// Overwrites the value and kind of slot `index`.
void sym_set(SymbolTable& t, int index, std::int32_t value, std::int32_t kind);

std::int32_t sym_value(const SymbolTable& t, int index);
std::int32_t sym_kind(const SymbolTable& t, int index);
std::string_view sym_name(const SymbolTable& t, int index);

}  // namespace vorn
