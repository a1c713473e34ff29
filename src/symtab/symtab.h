// The one symbol table: predefined names, constants, labels and every name met in an operand or
// a data item. A name is known everywhere by the index of its slot, which never changes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <type_traits>

#include "symtab/name_words.h"

namespace vorn {

constexpr int SYMTAB_SIZE = 7919;  // slots, a prime
constexpr int MAX_SYMBOLS = 3959;  // insertions allowed, so the table stays at most half full
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
  std::uint64_t head;         // the name's first 8 bytes (all of a short name, zero-extended)
  std::uint32_t name_offset;  // where the name starts in `SymbolTable::names`
  std::uint32_t name_length;
  std::int32_t value;
  Kind kind;
};

constexpr int NAME_INDEX_SIZE = 8192;  // cells of the name index, more than twice MAX_SYMBOLS

/// The cell of the name index where the search for a name with fingerprint `fp` starts: its
/// top bits, the best mixed.
constexpr int first_cell(std::uint32_t fp) {
  static_assert(NAME_INDEX_SIZE == 8192);
  return static_cast<int>(fp >> 19);
}

/// A plain table that starts all zeros, in storage the allocator gives zeroed (calloc). Pages
/// fresh from the system are zero already, so no pass writes the zeros and a run touches only
/// the pages it uses. calloc creates the table itself: it is of plain records only.
template <class T>
struct Zeroed {
  static_assert(std::is_trivially_default_constructible_v<T> &&
                std::is_trivially_destructible_v<T>);
  T* table = static_cast<T*>(std::calloc(1, sizeof(T)));

  Zeroed() {
    if (table == nullptr) throw std::bad_alloc();
  }
  ~Zeroed() { std::free(table); }
  Zeroed(const Zeroed&) = delete;
  Zeroed& operator=(const Zeroed&) = delete;
};

/// The slots of the symbol table and its name index, all zeros at start.
struct SymbolSlots {
  std::array<std::uint32_t, SYMTAB_SIZE> fingerprint;     // of the name in a slot; 0: empty
  std::array<SymbolEntry, SYMTAB_SIZE> entries;           // read only where the slot is occupied
  std::array<std::uint16_t, SYMTAB_SIZE> next_free;       // occupied slot: a slot to look on at
  std::array<std::uint16_t, NAME_INDEX_SIZE> name_index;  // slot + 1 of a name; 0: empty
};

/// The bytes a name store starts with: room for the names of most programs, so that it is not
/// copied as it grows, and for MAX_SYMBOLS short names at least (see SymbolTable).
constexpr std::size_t NAMES_RESERVE = 64 * 1024;
static_assert(NAMES_RESERVE >= 8 * MAX_SYMBOLS + 8);

/// The text of the stored names, back to back, in storage that grows by doubling.
struct NameStore {
  std::unique_ptr<char[]> data{new char[NAMES_RESERVE]};
  std::size_t size = 0;
  std::size_t capacity = NAMES_RESERVE;  // bytes at `data`

  std::string_view text() const { return {data.get(), size}; }
};

/// The name store keeps room for eight bytes for each name that may still be entered and eight
/// more, so that a short name is copied in with one 8-byte store and no test of the room.
///
/// The table proper is SYMTAB_SIZE slots filled by linear probing from each name's home slot:
/// a name lies in the first slot from its home that holds it, and a new name takes the first
/// empty slot from its home. Two side structures give exactly those slots without walking the
/// probe run, whose length the home slots (sums of bytes) make long for similar names:
/// - a name index, hashed on a fingerprint of the whole name, finds the slot holding a name;
/// - a free-slot chain leads from an occupied slot to the head of its run of occupied slots,
///   and from there to the empty slot after the run.
struct SymbolTable {
  /// A table with slots of its own.
  SymbolTable() : own(std::make_unique<Zeroed<SymbolSlots>>()), slots(*own->table) {}
  /// A table on `zeroed`, slots all zeros that the caller keeps for the table's life.
  explicit SymbolTable(SymbolSlots& zeroed) : slots(zeroed) {}

  std::unique_ptr<Zeroed<SymbolSlots>> own;
  SymbolSlots& slots;
  std::array<std::uint32_t, SYMTAB_SIZE>& fingerprint = slots.fingerprint;
  std::array<SymbolEntry, SYMTAB_SIZE>& entries = slots.entries;
  std::array<std::uint16_t, SYMTAB_SIZE>& next_free = slots.next_free;
  std::array<std::uint16_t, NAME_INDEX_SIZE>& name_index = slots.name_index;
  NameStore names;  // every stored name, back to back, whole whatever its length (4 GiB in all)
  int symbol_count = 0;
};

/// What sym_intern returns when `name` is absent and the table holds MAX_SYMBOLS names already;
/// the caller reports it.
constexpr int SYMTAB_FULL = -1;

/// The slot holding `name`, inserted first (undefined, KIND_NAME) when absent; SYMTAB_FULL
/// when it would be the insertion past MAX_SYMBOLS. Names beyond 4 GiB in all throw
/// std::bad_alloc.
int sym_intern(SymbolTable& t, std::string_view name);

/// sym_intern for a name of over 8 bytes whose head the caller has at hand.
int sym_intern_long(SymbolTable& t, std::string_view name, std::uint64_t head);

/// Enters `name`, absent, with its head and fingerprint, at the empty cell `cell` of the name
/// index; SYMTAB_FULL when the table is full.
int sym_enter(SymbolTable& t, std::string_view name, std::uint64_t head, std::uint32_t fp,
              int cell);

/// The cell of the name index that holds a name of at most 8 bytes, which its head and length
/// tell, or the empty cell where it would go: the first from the name's first cell whose slot
/// holds a name of that head and length.
inline int short_name_cell(const SymbolTable& t, std::uint64_t head, std::size_t n,
                           std::uint32_t fp) {
  int cell = first_cell(fp);
  for (;;) {
    const int slot = t.name_index[static_cast<std::size_t>(cell)] - 1;
    if (slot < 0) return cell;
    const SymbolEntry& e = t.entries[static_cast<std::size_t>(slot)];
    if (e.head == head && e.name_length == n) return cell;
    cell = (cell + 1) & (NAME_INDEX_SIZE - 1);
  }
}

/// sym_intern for a name whose head (its first 8 bytes as a word, the first byte lowest; all of
/// a shorter name, zero-extended) the caller has at hand, as the reader has for its token. A
/// short name, the usual, is looked up here in the caller's code.
inline int sym_intern(SymbolTable& t, std::string_view name, std::uint64_t head) {
  if (name.size() > 8) return sym_intern_long(t, name, head);
  const std::uint32_t fp = name_fingerprint(name, head);
  const int cell = short_name_cell(t, head, name.size(), fp);
  const int slot = t.name_index[static_cast<std::size_t>(cell)] - 1;
  return slot >= 0 ? slot : sym_enter(t, name, head, fp, cell);
}

/// The slot holding `name`, or -1 when absent. Never inserts.
int sym_find(const SymbolTable& t, std::string_view name);
int sym_find(const SymbolTable& t, std::string_view name, std::uint64_t head);

/// Overwrites the value and kind of slot `index`.
void sym_set(SymbolTable& t, int index, std::int32_t value, Kind kind);

std::int32_t sym_value(const SymbolTable& t, int index);
Kind sym_kind(const SymbolTable& t, int index);
std::string_view sym_name(const SymbolTable& t, int index);

}  // namespace vorn
