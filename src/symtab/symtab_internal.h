// The symbol table's own helpers, for its implementation, the image of the predefined names and
// the tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "symtab/symtab.h"

namespace vorn {

// The bytes of a name are taken eight at a time, as 64-bit words whose first byte is the
// lowest on every processor (compilers make one load of it where that is the native order), so
// that a name of the usual few letters costs one or two steps to fingerprint, add up and
// compare, and the same words can be worked out when the program is built.

constexpr std::uint64_t name_byte(const char* p, std::size_t k) {
  return std::uint64_t{static_cast<unsigned char>(p[k])} << (8 * k);
}

constexpr std::uint64_t load8(const char* p) {
  return name_byte(p, 0) | name_byte(p, 1) | name_byte(p, 2) | name_byte(p, 3) | name_byte(p, 4) |
         name_byte(p, 5) | name_byte(p, 6) | name_byte(p, 7);
}

constexpr std::uint64_t load4(const char* p) {
  return name_byte(p, 0) | name_byte(p, 1) | name_byte(p, 2) | name_byte(p, 3);
}

/// The `n` bytes at `p`, 0 < n < 8, as the low bytes of a word, reading no byte past them:
/// two loads that overlap, or three single bytes, which may coincide.
constexpr std::uint64_t load_short(const char* p, std::size_t n) {
  if (n >= 4) return load4(p) | (load4(p + n - 4) << (8 * (n - 4)));
  return (name_byte(p, 0) | (name_byte(p + n / 2, 0) << (8 * (n / 2))) |
          (name_byte(p + n - 1, 0) << (8 * (n - 1))));
}

/// The first 8 bytes of `name`, or all of a shorter one zero-extended.
constexpr std::uint64_t name_head(std::string_view name) {
  const std::size_t n = name.size();
  return n >= 8 ? load8(name.data()) : n == 0 ? 0 : load_short(name.data(), n);
}

/// The fingerprint of `name`, whose head is `head`; never 0, which marks an empty slot. The
/// top half of a product with the golden ratio, where every byte of the name has a say (a
/// short name costs one multiplication).
constexpr std::uint32_t name_fingerprint(std::string_view name, std::uint64_t head) {
  constexpr std::uint64_t K = 0x9E3779B97F4A7C15u;
  const char* p = name.data();
  const std::size_t n = name.size();
  std::uint64_t h = (head + n) * K;
  if (n > 8) {
    std::size_t k = 8;
    for (; k + 8 <= n; k += 8) h = (h ^ (h >> 32) ^ load8(p + k)) * K;
    if (k < n) h = (h ^ (h >> 32) ^ load_short(p + k, n - k)) * K;
  }
  const auto fp = static_cast<std::uint32_t>(h >> 32);
  return fp == 0 ? 1 : fp;
}

/// The cell of the name index where the search for a name with fingerprint `fp` starts: its
/// top bits, the best mixed.
constexpr int first_cell(std::uint32_t fp) {
  static_assert(NAME_INDEX_SIZE == 8192);
  return static_cast<int>(fp >> 19);
}

/// The sum of the eight bytes of `w`: added in four 16-bit lanes (each at most 2 * 255), then
/// the lanes.
constexpr std::uint64_t byte_sum(std::uint64_t w) {
  constexpr std::uint64_t EVEN = 0x00FF00FF00FF00FFu;
  return (((w & EVEN) + ((w >> 8) & EVEN)) * 0x0001000100010001u) >> 48;
}

/// The home slot of `name`: the sum of its bytes, taken as unsigned, modulo SYMTAB_SIZE.
constexpr int sym_hash(std::string_view name) {
  const char* p = name.data();
  const std::size_t n = name.size();
  std::uint64_t sum = 0;
  std::size_t k = 0;
  for (; k + 8 <= n; k += 8) sum += byte_sum(load8(p + k));
  if (k < n) sum += byte_sum(load_short(p + k, n - k));
  return static_cast<int>(sum % SYMTAB_SIZE);
}

/// sym_hash of `name`, whose head is `head`: all of a name of up to 8 bytes.
constexpr int sym_hash(std::string_view name, std::uint64_t head) {
  return name.size() <= 8 ? static_cast<int>(byte_sum(head) % SYMTAB_SIZE) : sym_hash(name);
}

/// What entering one name into an empty table wrote: its slot and entry, the next_free of
/// its slot, and its cell of the name index.
struct SymbolImageRow {
  int slot;
  int cell;
  std::uint32_t fingerprint;
  std::uint16_t next_free;
  SymbolEntry entry;
};

/// The table that entering `N` distinct names in order into an empty table leaves, each with
/// the value and kind given, worked out when the program is built by the rules sym_intern
/// follows: so a run starts with these names by copying N rows.
template <std::size_t N>
struct SymbolImage {
  SymbolImageRow rows[N];

  /// `table` rows have a `name` and a `value`.
  template <class Row>
  constexpr SymbolImage(const Row (&table)[N], Kind kind) : rows() {
    std::uint32_t offset = 0;
    for (std::size_t i = 0; i < N; ++i) {
      const std::string_view name = table[i].name;
      const std::uint64_t head = name_head(name);
      const std::uint32_t fp = name_fingerprint(name, head);
      int cell = first_cell(fp);
      while (row_at_cell(cell, i)) cell = (cell + 1) & (NAME_INDEX_SIZE - 1);
      // The first empty slot from the home slot along the free-slot chains, each chain passed
      // then pointed at it, as sym_intern does.
      const int home = sym_hash(name);
      int free = home;
      for (int j = row_at_slot(free, i); j >= 0; j = row_at_slot(free, i)) {
        free = rows[j].next_free;
      }
      for (int j = row_at_slot(home, i); j >= 0;) {
        const int next = rows[j].next_free;
        rows[j].next_free = static_cast<std::uint16_t>(free);
        j = row_at_slot(next, i);
      }
      rows[i] = {free,
                 cell,
                 fp,
                 static_cast<std::uint16_t>(free + 1 == SYMTAB_SIZE ? 0 : free + 1),
                 {head, offset, static_cast<std::uint32_t>(name.size()), table[i].value, kind}};
      offset += static_cast<std::uint32_t>(name.size());
    }
  }

 private:
  // The row among the first `count` that holds `slot`, or -1.
  constexpr int row_at_slot(int slot, std::size_t count) const {
    for (std::size_t j = 0; j < count; ++j) {
      if (rows[j].slot == slot) return static_cast<int>(j);
    }
    return -1;
  }
  constexpr bool row_at_cell(int cell, std::size_t count) const {
    for (std::size_t j = 0; j < count; ++j) {
      if (rows[j].cell == cell) return true;
    }
    return false;
  }
};

/// Makes the empty table `t` hold the `count` names of an image, whose text is `names`, the
/// names back to back in the image's order.
void sym_load_image(SymbolTable& t, const SymbolImageRow* rows, int count, std::string_view names);

}  // namespace vorn
