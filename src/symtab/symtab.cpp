#include "symtab/symtab.h"

#include <new>

namespace vorn {

namespace {

// The name index: open addressing with linear probing, each cell an entry's index + 1 (0:
// empty). It has more than twice MAX_SYMBOLS cells, so that a search always meets an empty
// cell soon. An entry keeps its name's hash, compared before the bytes.
static_assert(NAME_INDEX_SIZE > 2 * MAX_SYMBOLS && (NAME_INDEX_SIZE & (NAME_INDEX_SIZE - 1)) == 0);

const SymbolEntry& entry(const SymbolTable& t, int index) {
  return t.entries[static_cast<std::size_t>(index)];
}

bool holds(const SymbolTable& t, int index, std::string_view name, std::uint32_t hash) {
  const SymbolEntry& e = entry(t, index);
  return e.hash == hash && std::string_view(t.names.data() + e.name_offset, e.name_length) == name;
}

// The cell that holds `name`, or the empty cell where it would go, from the cell its hash gives.
std::size_t probe(const SymbolTable& t, std::string_view name, std::uint32_t hash) {
  std::size_t cell = hash & (NAME_INDEX_SIZE - 1);
  for (;;) {
    const int index = t.name_index[cell] - 1;
    if (index < 0 || holds(t, index, name, hash)) return cell;
    cell = (cell + 1) & (NAME_INDEX_SIZE - 1);
  }
}

}  // namespace

int sym_intern(SymbolTable& t, std::string_view name, std::uint32_t hash) {
  const std::size_t cell = probe(t, name, hash);
  if (t.name_index[cell] != 0) return t.name_index[cell] - 1;
  if (t.entries.size() == MAX_SYMBOLS) return SYMTAB_FULL;
  if (t.names.size() + name.size() > UINT32_MAX) throw std::bad_alloc();
  const int index = static_cast<int>(t.entries.size());
  t.entries.push_back({hash, static_cast<std::uint32_t>(t.names.size()),
                       static_cast<std::uint32_t>(name.size()), UNDEFINED_VALUE, KIND_NAME});
  t.names.append(name);
  t.name_index[cell] = static_cast<std::uint16_t>(index + 1);
  return index;
}

int sym_find(const SymbolTable& t, std::string_view name, std::uint32_t hash) {
  return t.name_index[probe(t, name, hash)] - 1;
}

void sym_set(SymbolTable& t, int index, std::int32_t value, Kind kind) {
  SymbolEntry& e = t.entries[static_cast<std::size_t>(index)];
  e.value = value;
  e.kind = kind;
}

std::int32_t sym_value(const SymbolTable& t, int index) {
  return entry(t, index).value;
}

Kind sym_kind(const SymbolTable& t, int index) {
  return entry(t, index).kind;
}

std::string_view sym_name(const SymbolTable& t, int index) {
  const SymbolEntry& e = entry(t, index);
  return std::string_view(t.names).substr(e.name_offset, e.name_length);
}

}  // namespace vorn
