#include "symtab/symtab.h"

#include <cstring>

#include "source_reader/source_reader.h"

namespace vorn {

namespace {

struct NameKey {
  int home;
  std::uint32_t fingerprint;
};

NameKey name_key(std::string_view name) {
  std::uint64_t sum = 0;
  std::uint32_t fp = 2166136261u;  // FNV-1a
  for (char c : name) {
    unsigned char byte = static_cast<unsigned char>(c);
    sum += byte;
    fp = (fp ^ byte) * 16777619u;
  }
  if (fp == 0) fp = 1;  // 0 marks an empty slot
  return {static_cast<int>(sum % SYMTAB_SIZE), fp};
}

bool name_equals(const SymbolTable& t, int index, std::string_view name) {
  const SymbolEntry& e = t.entries[static_cast<std::size_t>(index)];
  return e.name_length == name.size() &&
         (name.empty() || std::memcmp(t.names.data() + e.name_offset, name.data(), name.size()) == 0);
}

// Linear probing from the home slot: stops at the slot holding `name` or at the first empty
// slot. Ends because the table is never more than half full.
int probe(const SymbolTable& t, std::string_view name, NameKey key) {
  int i = key.home;
  for (;;) {
    std::uint32_t f = t.fingerprint[static_cast<std::size_t>(i)];
    if (f == 0 || (f == key.fingerprint && name_equals(t, i, name))) return i;
    i = (i + 1 == SYMTAB_SIZE) ? 0 : i + 1;
  }
}

}  // namespace

int sym_hash(std::string_view name) { return name_key(name).home; }

int sym_intern(SymbolTable& t, const SourceReader& r, std::string_view name) {
  NameKey key = name_key(name);
  int i = probe(t, name, key);
  if (t.fingerprint[static_cast<std::size_t>(i)] != 0) return i;
  if (++t.symbol_count > MAX_SYMBOLS) {
    report_error(r, "too many symbols, increase table size\n");
  }
  t.fingerprint[static_cast<std::size_t>(i)] = key.fingerprint;
  t.entries[static_cast<std::size_t>(i)] = {t.names.size(), name.size(), UNDEFINED_VALUE, KIND_NAME};
  t.names.append(name);
  return i;
}

int sym_find(const SymbolTable& t, std::string_view name) {
  int i = probe(t, name, name_key(name));
  return t.fingerprint[static_cast<std::size_t>(i)] != 0 ? i : -1;
}

void sym_set(SymbolTable& t, int index, std::int32_t value, std::int32_t kind) {
  SymbolEntry& e = t.entries[static_cast<std::size_t>(index)];
  e.value = value;
  e.kind = kind;
}

std::int32_t sym_value(const SymbolTable& t, int index) {
  return t.entries[static_cast<std::size_t>(index)].value;
}

std::int32_t sym_kind(const SymbolTable& t, int index) {
  return t.entries[static_cast<std::size_t>(index)].kind;
}

std::string_view sym_name(const SymbolTable& t, int index) {
  const SymbolEntry& e = t.entries[static_cast<std::size_t>(index)];
  return std::string_view(t.names).substr(e.name_offset, e.name_length);
}

}  // namespace vorn
