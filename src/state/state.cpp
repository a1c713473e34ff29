#include "state/state.h"

namespace vorn {

void item_append(Assembly& as, Kind kind, std::int32_t value) {
  if (as.item_count >= MAX_ITEMS) report_error(as.reader, msg::OUT_OF_MEMORY);
  const std::size_t at = static_cast<std::size_t>(as.item_count++);
  if (as.map != nullptr) as.map->item_place[at] = token_place(as.reader, as.reader.current_token);
  as.items[at] = {kind, value};
}

void fixup_add(Assembly& as, std::int32_t address, std::int32_t symbol, std::string_view name) {
  // Only accepted forward references are recorded, at most one per instruction, and there are
  // at most CODE_SIZE instructions; the guard keeps the list safe all the same.
  if (as.fixup_count >= MAX_FIXUPS) report_error(as.reader, msg::OUT_OF_MEMORY);
  const std::size_t at = static_cast<std::size_t>(as.fixup_count++);
  if (as.map != nullptr) as.map->fixup_place[at] = token_place(as.reader, name);
  as.fixups[at] = {address, symbol};
}

void record_use(Assembly& as, int index, std::string_view text, bool definition) {
  if (sym_kind(as.symtab, index) == KIND_PREDEFINED) return;
  as.map->uses.push_back({index, token_place(as.reader, text), definition});
}

Place token_place(const SourceReader& r, std::string_view text) {
  const std::int64_t offset = text.data() - r.current_token.data();
  const std::int64_t column = token_column(r);
  if (column < 0) return {r.line_no, 0, 0};
  return {r.line_no, column + offset, static_cast<std::int64_t>(text.size())};
}

int intern(Assembly& as, std::string_view name) {
  const int i = sym_intern(as.symtab, name);
  if (i == SYMTAB_FULL) report_error(as.reader, msg::TOO_MANY_SYMBOLS);
  return i;
}

}  // namespace vorn
