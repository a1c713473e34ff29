#include "symtab/symtab.h"

#include <cstring>
#include <new>

#include "symtab/symtab_internal.h"

namespace vorn {

namespace {

// Room for the names of most programs, so the store is not copied as it grows.
constexpr std::size_t NAMES_RESERVE = 64 * 1024;

std::size_t at(int index) {
  return static_cast<std::size_t>(index);
}

bool name_equals(const SymbolTable& t, int slot, std::string_view name, std::uint64_t head) {
  const SymbolEntry& e = t.entries[at(slot)];
  const std::size_t n = name.size();
  return e.head == head && e.name_length == n &&
         (n <= 8 || std::memcmp(t.names.data() + e.name_offset + 8, name.data() + 8, n - 8) == 0);
}

// The cell of the name index that holds `name`, or the empty cell where it would go. Ends
// because the index is never more than half full.
[[gnu::always_inline]] inline int index_cell(const SymbolTable& t, std::string_view name,
                                             std::uint64_t head, std::uint32_t fp) {
  int cell = static_cast<int>(fp & (NAME_INDEX_SIZE - 1));
  for (;;) {
    int slot = t.name_index[at(cell)] - 1;
    if (slot < 0 || (t.fingerprint[at(slot)] == fp && name_equals(t, slot, name, head))) {
      return cell;
    }
    cell = (cell + 1) & (NAME_INDEX_SIZE - 1);
  }
}

// The first empty slot at or after `slot`, wrapping from the last slot to 0: the slot that
// linear probing from `slot` stops at for a name not in the table. Each chain followed is cut
// short to point at the answer, so later searches take a step or two.
int first_free_slot(SymbolTable& t, int slot) {
  int free = slot;
  while (t.fingerprint[at(free)] != 0) free = t.next_free[at(free)];
  while (t.fingerprint[at(slot)] != 0) {
    int next = t.next_free[at(slot)];
    t.next_free[at(slot)] = static_cast<std::uint16_t>(free);
    slot = next;
  }
  return free;
}

// Enters `name`, absent, with its head and fingerprint, at the empty cell `cell` of the name
// index. Kept apart from the lookup, which most calls end in.
[[gnu::noinline]] int insert_name(SymbolTable& t, std::string_view name, std::uint64_t head,
                                  std::uint32_t fp, int cell) {
  if (t.symbol_count >= MAX_SYMBOLS) return SYMTAB_FULL;
  ++t.symbol_count;
  if (name.size() > UINT32_MAX - t.names.size()) throw std::bad_alloc();
  if (t.names.capacity() < NAMES_RESERVE) t.names.reserve(NAMES_RESERVE);
  const int slot = first_free_slot(t, sym_hash(name));
  t.fingerprint[at(slot)] = fp;
  t.entries[at(slot)] = {head, static_cast<std::uint32_t>(t.names.size()),
                         static_cast<std::uint32_t>(name.size()), UNDEFINED_VALUE, KIND_NAME};
  t.next_free[at(slot)] = static_cast<std::uint16_t>(slot + 1 == SYMTAB_SIZE ? 0 : slot + 1);
  t.name_index[at(cell)] = static_cast<std::uint16_t>(slot + 1);
  t.names.append(name);
  return slot;
}

}  // namespace

int sym_intern(SymbolTable& t, std::string_view name) {
  const std::uint64_t head = name_head(name);
  const std::uint32_t fp = name_fingerprint(name, head);
  const int cell = index_cell(t, name, head, fp);
  const int slot = t.name_index[at(cell)] - 1;
  return slot >= 0 ? slot : insert_name(t, name, head, fp, cell);
}

void sym_load_image(SymbolTable& t, const SymbolImageRow* rows, int count, std::string_view names) {
  for (const SymbolImageRow* row = rows; row != rows + count; ++row) {
    const std::size_t slot = at(row->slot);
    t.fingerprint[slot] = row->fingerprint;
    t.entries[slot] = row->entry;
    t.next_free[slot] = row->next_free;
    t.name_index[at(row->cell)] = static_cast<std::uint16_t>(row->slot + 1);
  }
  if (t.names.capacity() < NAMES_RESERVE) t.names.reserve(NAMES_RESERVE);
  t.names.append(names);
  t.symbol_count += count;
}

int sym_find(const SymbolTable& t, std::string_view name) {
  const std::uint64_t head = name_head(name);
  return t.name_index[at(index_cell(t, name, head, name_fingerprint(name, head)))] - 1;
}

void sym_set(SymbolTable& t, int index, std::int32_t value, Kind kind) {
  SymbolEntry& e = t.entries[at(index)];
  e.value = value;
  e.kind = kind;
}

std::int32_t sym_value(const SymbolTable& t, int index) {
  return t.entries[at(index)].value;
}

Kind sym_kind(const SymbolTable& t, int index) {
  return t.entries[at(index)].kind;
}

std::string_view sym_name(const SymbolTable& t, int index) {
  const SymbolEntry& e = t.entries[at(index)];
  return std::string_view(t.names).substr(e.name_offset, e.name_length);
}

}  // namespace vorn
