// The words of a name that the symbol table hashes and compares, worked out alike at run time
// and when the program is built (the image of the predefined names).
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <type_traits>

namespace vorn {

// The bytes of a name are taken eight at a time, as 64-bit words whose first byte is the
// lowest on every processor (compilers make one load of it where that is the native order), so
// that a name of the usual few letters costs one or two steps to fingerprint, add up and
// compare, and the same words can be worked out when the program is built.

constexpr std::uint64_t name_byte(const char* p, std::size_t k) {
  return std::uint64_t{static_cast<unsigned char>(p[k])} << (8 * k);
}

constexpr std::uint64_t load8(const char* p) {
  if (!std::is_constant_evaluated() && std::endian::native == std::endian::little) {
    std::uint64_t w = 0;
    std::memcpy(&w, p, 8);  // one load, however the optimiser weighs the bytes
    return w;
  }
  return name_byte(p, 0) | name_byte(p, 1) | name_byte(p, 2) | name_byte(p, 3) | name_byte(p, 4) |
         name_byte(p, 5) | name_byte(p, 6) | name_byte(p, 7);
}

/// Writes `w` as eight bytes, its lowest first (one store where that is the native order).
inline void store8(char* p, std::uint64_t w) {
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(p, &w, 8);
  } else {
    for (int k = 0; k < 8; ++k) p[k] = static_cast<char>(w >> (8 * k));
  }
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

}  // namespace vorn
