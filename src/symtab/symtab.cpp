#include "symtab/symtab.h"

#include <cstring>
#include <new>

#include "symtab/symtab_internal.h"

namespace vorn {

namespace {

// Room for the names of most programs, so the store is not copied as it grows.
constexpr std::size_t NAMES_RESERVE = 64 * 1024;

// The bytes of a name are taken eight at a time, as 64-bit words, so that a name of the usual
// few letters costs one or two steps to fingerprint, add up and compare.

std::uint64_t load8(const char* p) {
  std::uint64_t w;
  std::memcpy(&w, p, 8);
  return w;
}

std::uint64_t load4(const char* p) {
  std::uint32_t w;
  std::memcpy(&w, p, 4);
  return w;
}

// The `n` bytes at `p`, 0 < n < 8, as the low bytes of a word, reading no byte past them:
// two loads that overlap, or three single bytes, which may coincide.
std::uint64_t load_short(const char* p, std::size_t n) {
  if (n >= 4) return load4(p) | (load4(p + n - 4) << (8 * (n - 4)));
  const auto byte = [&](std::size_t k) {
    return std::uint64_t{static_cast<unsigned char>(p[k])} << (8 * k);
  };
  return byte(0) | byte(n / 2) | byte(n - 1);
}

// The first 8 bytes of `name`, or all of a shorter one zero-extended.
std::uint64_t name_head(std::string_view name) {
  const std::size_t n = name.size();
  return n >= 8 ? load8(name.data()) : n == 0 ? 0 : load_short(name.data(), n);
}

// The fingerprint of `name`, whose head is `head`.
std::uint32_t name_fingerprint(std::string_view name, std::uint64_t head) {
  constexpr std::uint64_t K = 0x9E3779B97F4A7C15u;
  const char* p = name.data();
  const std::size_t n = name.size();
  std::uint64_t h = (n * K ^ head) * K;
  if (n > 8) {
    std::size_t k = 8;
    for (; k + 8 <= n; k += 8) h = (h ^ load8(p + k)) * K;
    if (k < n) h = (h ^ load_short(p + k, n - k)) * K;
  }
  h ^= h >> 29;
  h *= 0xBF58476D1CE4E5B9u;
  const auto fp = static_cast<std::uint32_t>(h ^ (h >> 32));
  return fp == 0 ? 1 : fp;  // 0 marks an empty slot
}

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
[[gnu::always_inline]] inline int index_cell(const SymbolTable& t, std::string_view name, std::uint64_t head, std::uint32_t fp) {
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

}  // namespace

int sym_hash(std::string_view name) {
  // The bytes of a word added in four 16-bit lanes (each at most 2 * 255), then the lanes.
  const auto byte_sum = [](std::uint64_t w) {
    constexpr std::uint64_t EVEN = 0x00FF00FF00FF00FFu;
    return (((w & EVEN) + ((w >> 8) & EVEN)) * 0x0001000100010001u) >> 48;
  };
  const char* p = name.data();
  const std::size_t n = name.size();
  std::uint64_t sum = 0;
  std::size_t k = 0;
  for (; k + 8 <= n; k += 8) sum += byte_sum(load8(p + k));
  if (k < n) sum += byte_sum(load_short(p + k, n - k));
  return static_cast<int>(sum % SYMTAB_SIZE);
}

namespace {

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
