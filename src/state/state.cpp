#include "state/state.h"

namespace vorn {

void item_append(Assembly& as, Kind kind, std::int32_t value) {
  if (as.item_count >= MAX_ITEMS) report_error(as.reader, msg::OUT_OF_MEMORY);
  const std::size_t at = static_cast<std::size_t>(as.item_count++);
  if (as.map != nullptr) as.map->item_line[at] = as.reader.line_no;
  as.items[at] = {kind, value};
}

void fixup_add(Assembly& as, std::int32_t address, std::int32_t symbol) {
  // Only accepted forward references are recorded, at most one per instruction, and there are
  // at most CODE_SIZE instructions; the guard keeps the list safe all the same.
  if (as.fixup_count >= MAX_FIXUPS) report_error(as.reader, msg::OUT_OF_MEMORY);
  const std::size_t at = static_cast<std::size_t>(as.fixup_count++);
  if (as.map != nullptr) as.map->fixup_line[at] = as.reader.line_no;
  as.fixups[at] = {address, symbol};
}

int intern(Assembly& as, std::string_view name) {
  const int i = sym_intern(as.symtab, name);
  if (i == SYMTAB_FULL) report_error(as.reader, msg::TOO_MANY_SYMBOLS);
  return i;
}

}  // namespace vorn
