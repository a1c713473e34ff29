#include "symtab/symtab.h"

#include <cstring>
#include <new>

namespace vorn {

namespace {

const SymbolEntry& entry(const SymbolTable& t, int index) {
  return t.entries[static_cast<std::size_t>(index)];
}

// FNV-1a of the name's bytes: every byte has a say, so similar names spread over the index.
std::uint32_t name_hash(std::string_view name) {
  std::uint32_t h = 2166136261u;
  for (char c : name) h = (h ^ static_cast<unsigned char>(c)) * 16777619u;
  return h;
}

bool holds(const SymbolTable& t, int index, std::string_view name, std::uint32_t hash) {
  const SymbolEntry& e = entry(t, index);
  return e.hash == hash && e.name_length == name.size() &&
         std::memcmp(t.names.data() + e.name_offset, name.data(), name.size()) == 0;
}

// The cell of the name index that holds `name`, or the empty cell where it would go: linear
// probing from the cell its hash gives. Ends, as the index is never half full.
std::size_t probe(const SymbolTable& t, std::string_view name, std::uint32_t hash) {
  std::size_t cell = hash & (NAME_INDEX_SIZE - 1);
  for (;;) {
    const int index = t.name_index[cell] - 1;
    if (index < 0 || holds(t, index, name, hash)) return cell;
    cell = (cell + 1) & (NAME_INDEX_SIZE - 1);
  }
}

}  // namespace

int sym_intern(SymbolTable& t, std::string_view name) {
  const std::uint32_t hash = name_hash(name);
  const std::size_t cell = probe(t, name, hash);
  if (t.name_index[cell] != 0) return t.name_index[cell] - 1;
  if (t.symbol_count == MAX_SYMBOLS) return SYMTAB_FULL;
  if (t.names.size() + name.size() > UINT32_MAX) throw std::bad_alloc();
  const int index = t.symbol_count++;
  t.entries[static_cast<std::size_t>(index)] = {hash, static_cast<std::uint32_t>(t.names.size()),
                                                static_cast<std::uint32_t>(name.size()),
                                                UNDEFINED_VALUE, KIND_NAME};
  t.names.append(name);
  t.name_index[cell] = static_cast<std::uint16_t>(index + 1);
  return index;
}

int sym_find(const SymbolTable& t, std::string_view name) {
  return t.name_index[probe(t, name, name_hash(name))] - 1;
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
