// The hash the symbol table files a name under: FNV-1a of its bytes, made a byte at a time, so
// that the reader can make it as it copies a token.
#pragma once

#include <cstdint>
#include <string_view>

namespace vorn {

constexpr std::uint32_t NAME_HASH_SEED = 2166136261u;

/// The hash so far, `h`, with the byte `c` after it.
constexpr std::uint32_t name_hash_step(std::uint32_t h, char c) {
  return (h ^ static_cast<unsigned char>(c)) * 16777619u;
}

/// The hash of `name`.
constexpr std::uint32_t name_hash(std::string_view name) {
  std::uint32_t h = NAME_HASH_SEED;
  for (char c : name) h = name_hash_step(h, c);
  return h;
}

}  // namespace vorn
