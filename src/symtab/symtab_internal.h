// The symbol table's own helpers, for its implementation and its tests only.
#pragma once

#include <string_view>

namespace vorn {

/// The home slot of `name`: the sum of its bytes, taken as unsigned, modulo SYMTAB_SIZE.
int sym_hash(std::string_view name);

}  // namespace vorn
