#include "symtab/symtab.h"

#include <cstring>
#include <new>

#include "symtab/symtab_internal.h"

namespace vorn {

namespace {

std::size_t at(int index) {
  return static_cast<std::size_t>(index);
}

// The bytes of two names of `n` bytes past their heads, n > 8. Kept out of the lookup, where
// the call would cost every short name its registers.
[[gnu::noinline]] bool tails_equal(const SymbolTable& t, const SymbolEntry& e,
                                   std::string_view name) {
  return std::memcmp(t.names.data.get() + e.name_offset + 8, name.data() + 8, name.size() - 8) == 0;
}

bool name_equals(const SymbolTable& t, int slot, std::string_view name, std::uint64_t head) {
  const SymbolEntry& e = t.entries[at(slot)];
  return e.head == head && e.name_length == name.size() &&
         (name.size() <= 8 || tails_equal(t, e, name));
}

// The cell of the name index that holds `name`, or the empty cell where it would go. Ends
// because the index is never more than half full.
[[gnu::always_inline]] inline int index_cell(const SymbolTable& t, std::string_view name,
                                             std::uint64_t head, std::uint32_t fp) {
  int cell = first_cell(fp);
  for (;;) {
    int slot = t.name_index[at(cell)] - 1;
    if (slot < 0 || (t.fingerprint[at(slot)] == fp && name_equals(t, slot, name, head))) {
      return cell;
    }
    cell = (cell + 1) & (NAME_INDEX_SIZE - 1);
  }
}

// The slot after `slot`, wrapping from the last to 0.
int next_slot(int slot) {
  return slot + 1 == SYMTAB_SIZE ? 0 : slot + 1;
}

// The first empty slot at or after `slot`, wrapping from the last slot to 0: the slot that
// linear probing from `slot` stops at for a name not in the table. The walk along the chains
// ends at the last occupied slot before it, `root` (-1 when `slot` is empty), and each slot
// passed is pointed at that root, which stays the head of its run of occupied slots.
int first_free_slot(SymbolTable& t, int slot, int& root) {
  root = -1;
  int free = slot;
  while (t.fingerprint[at(free)] != 0) {
    root = free;
    free = t.next_free[at(free)];
  }
  while (root >= 0 && slot != root) {
    const int next = t.next_free[at(slot)];
    t.next_free[at(slot)] = static_cast<std::uint16_t>(root);
    slot = next;
  }
  return free;
}

// Links the slot `slot`, just filled, into the chains: it points at the root its search ended
// at, whose run it ends, and the root (or, for a run of its own, the slot itself) at the slot
// after it. So a later search from anywhere in the run takes two steps, however the run grew.
void link_filled_slot(SymbolTable& t, int slot, int root) {
  const auto after = static_cast<std::uint16_t>(next_slot(slot));
  if (root < 0) {
    t.next_free[at(slot)] = after;
  } else {
    t.next_free[at(slot)] = static_cast<std::uint16_t>(root);
    t.next_free[at(root)] = after;
  }
}

// Grows the name store to hold `needed` bytes; throws std::bad_alloc past 4 GiB of names or
// when memory runs out. Kept apart, so that entering a name makes no call on its way.
[[gnu::noinline]] void grow_names(NameStore& store, std::size_t needed) {
  if (needed - 8 > UINT32_MAX) throw std::bad_alloc();
  std::size_t capacity = store.capacity;  // never below NAMES_RESERVE, where it starts
  while (capacity < needed) capacity *= 2;
  std::unique_ptr<char[]> grown(new char[capacity]);
  if (store.size > 0) std::memcpy(grown.get(), store.data.get(), store.size);
  store.data = std::move(grown);
  // Counted as at most 4 GiB, so that a name stored without these checks (sym_enter) always
  // starts and ends within the 32-bit offsets.
  store.capacity = capacity < UINT32_MAX ? capacity : UINT32_MAX;
}

// Makes room in the name store for `more` bytes and the room the table keeps after them:
// eight bytes for each name that may still be entered, and eight more.
void reserve_names(SymbolTable& t, std::size_t more) {
  NameStore& store = t.names;
  const auto kept = static_cast<std::size_t>(8 * (MAX_SYMBOLS - t.symbol_count) + 8);
  // `more` is the length of a name in memory, so the sum does not overflow.
  const std::size_t needed = store.size + more + kept;
  if (needed > store.capacity || needed - 8 > UINT32_MAX) grow_names(store, needed);
}

// Appends `name`, whose head is `head`, to the name store, which has room for it and the
// eight bytes after it (a short name: the room the table keeps).
void append_name(NameStore& store, std::string_view name, std::uint64_t head) {
  char* const at_end = store.data.get() + store.size;
  if (name.size() <= 8) {
    store8(at_end, head);  // the name, and zeros up to eight bytes, which the next one covers
  } else {
    std::memcpy(at_end, name.data(), name.size());
  }
  store.size += name.size();
}

// Gives the name just stored at `offset` its slot, its entry and its index cell.
[[gnu::always_inline]] inline int place_name(SymbolTable& t, std::string_view name,
                                             std::uint64_t head, std::uint32_t fp, int cell,
                                             std::uint32_t offset) {
  ++t.symbol_count;
  int root = -1;
  const int slot = first_free_slot(t, sym_hash(name, head), root);
  t.fingerprint[at(slot)] = fp;
  t.entries[at(slot)] = {head, offset, static_cast<std::uint32_t>(name.size()), UNDEFINED_VALUE,
                         KIND_NAME};
  link_filled_slot(t, slot, root);
  t.name_index[at(cell)] = static_cast<std::uint16_t>(slot + 1);
  return slot;
}

// sym_enter for a long name, for which the store may have to grow first: the calls this makes
// stay out of the usual entry, which then keeps everything in registers of its own.
[[gnu::noinline]] int enter_long(SymbolTable& t, std::string_view name, std::uint64_t head,
                                 std::uint32_t fp, int cell) {
  reserve_names(t, name.size());
  const auto offset = static_cast<std::uint32_t>(t.names.size);
  append_name(t.names, name, head);
  return place_name(t, name, head, fp, cell, offset);
}

}  // namespace

// Kept apart from the lookup, which most calls end in.
[[gnu::noinline]] int sym_enter(SymbolTable& t, std::string_view name, std::uint64_t head,
                                std::uint32_t fp, int cell) {
  if (t.symbol_count >= MAX_SYMBOLS) return SYMTAB_FULL;
  if (name.size() > 8) return enter_long(t, name, head, fp, cell);
  // A short name, in the room the store keeps. The room counted never passes 4 GiB
  // (grow_names), so neither does the name.
  NameStore& store = t.names;
  const auto offset = static_cast<std::uint32_t>(store.size);
  append_name(store, name, head);
  return place_name(t, name, head, fp, cell, offset);
}

[[gnu::noinline]] int sym_intern_long(SymbolTable& t, std::string_view name, std::uint64_t head) {
  const std::uint32_t fp = name_fingerprint(name, head);
  const int cell = index_cell(t, name, head, fp);
  const int slot = t.name_index[at(cell)] - 1;
  return slot >= 0 ? slot : sym_enter(t, name, head, fp, cell);
}

int sym_intern(SymbolTable& t, std::string_view name) {
  return sym_intern(t, name, name_head(name));
}

void sym_load_image(SymbolTable& t, const SymbolImageRow* rows, int count, std::string_view names) {
  for (const SymbolImageRow* row = rows; row != rows + count; ++row) {
    const std::size_t slot = at(row->slot);
    t.fingerprint[slot] = row->fingerprint;
    t.entries[slot] = row->entry;
    t.next_free[slot] = row->next_free;
    t.name_index[at(row->cell)] = static_cast<std::uint16_t>(row->slot + 1);
  }
  t.symbol_count += count;  // first, so that the room kept is counted for the names still to come
  reserve_names(t, names.size());
  std::memcpy(t.names.data.get() + t.names.size, names.data(), names.size());
  t.names.size += names.size();
}

int sym_find(const SymbolTable& t, std::string_view name, std::uint64_t head) {
  const std::uint32_t fp = name_fingerprint(name, head);
  const int cell =
      name.size() <= 8 ? short_name_cell(t, head, name.size(), fp) : index_cell(t, name, head, fp);
  return t.name_index[at(cell)] - 1;
}

int sym_find(const SymbolTable& t, std::string_view name) {
  return sym_find(t, name, name_head(name));
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
  return t.names.text().substr(e.name_offset, e.name_length);
}

}  // namespace vorn
