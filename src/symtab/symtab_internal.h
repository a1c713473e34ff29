// The symbol table's own helpers, for its implementation, the image of the predefined names and
// the tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <type_traits>

#include "symtab/symtab.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vorn {

/// The sum of the eight bytes of `w`: in one vector step where there is SSE2, and elsewhere
/// added in four 16-bit lanes (each at most 2 * 255), then the lanes.
constexpr std::uint64_t byte_sum(std::uint64_t w) {
#if defined(__SSE2__)
  if (!std::is_constant_evaluated()) {  // one step: the sum of absolute differences from 0
    const __m128i v = _mm_cvtsi64_si128(static_cast<long long>(w));
    return static_cast<std::uint64_t>(_mm_cvtsi128_si64(_mm_sad_epu8(v, _mm_setzero_si128())));
  }
#endif
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

/// sym_hash of `name`, whose head is `head`: all of a name of up to 8 bytes, whose sum is
/// below SYMTAB_SIZE already.
constexpr int sym_hash(std::string_view name, std::uint64_t head) {
  static_assert(8 * 255 < SYMTAB_SIZE);
  return name.size() <= 8 ? static_cast<int>(byte_sum(head)) : sym_hash(name);
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
      // The first empty slot from the home slot along the chains, the slots passed pointed at
      // the last occupied one, the root; the new slot linked in, as sym_intern does.
      const int home = sym_hash(name);
      int free = home;
      int root = -1;
      for (int j = row_at_slot(free, i); j >= 0; j = row_at_slot(free, i)) {
        root = free;
        free = rows[j].next_free;
      }
      for (int x = home; root >= 0 && x != root;) {
        const int j = row_at_slot(x, i);
        x = rows[j].next_free;
        rows[j].next_free = static_cast<std::uint16_t>(root);
      }
      const auto after = static_cast<std::uint16_t>(free + 1 == SYMTAB_SIZE ? 0 : free + 1);
      if (root >= 0) rows[row_at_slot(root, i)].next_free = after;
      rows[i] = {free,
                 cell,
                 fp,
                 root >= 0 ? static_cast<std::uint16_t>(root) : after,
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
