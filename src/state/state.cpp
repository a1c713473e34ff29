#include "state/state.h"

namespace vorn {

void item_append(Assembly& as, Kind kind, std::int32_t value) {
  if (as.items.size() >= MAX_ITEMS) report_error(as.reader, msg::OUT_OF_MEMORY);
  if (as.map != nullptr) as.map->item_place[as.items.size()] = token_place(as.reader, as.reader.current_token);
  as.items.push_back({kind, value});
}

void fixup_add(Assembly& as, std::int32_t address, std::int32_t symbol, std::string_view name) {
  // Only accepted forward references are recorded, at most one per instruction, and there are
  // at most CODE_SIZE instructions; the guard keeps the list safe all the same.
  if (as.fixups.size() >= MAX_FIXUPS) report_error(as.reader, msg::OUT_OF_MEMORY);
  if (as.map != nullptr) as.map->fixup_place[as.fixups.size()] = token_place(as.reader, name);
  as.fixups.push_back({address, symbol});
}

void map_definition(Assembly& as, int index, bool label) {
  if (as.map != nullptr) as.map->definitions.push_back({index, as.reader.line_no, label});
}

void map_use(Assembly& as, int index, std::string_view text, bool definition) {
  if (as.map == nullptr || sym_kind(as.symtab, index) == KIND_PREDEFINED) return;
  as.map->uses.push_back({index, token_place(as.reader, text), definition});
}

Place token_place(const SourceReader& r, std::string_view text) {
  const std::int64_t offset = text.data() - r.current_token.data();
  const std::int64_t column = token_column(r);
  if (column < 0) return {r.line_no, 0, 0};
  return {r.line_no, column + offset, static_cast<std::int64_t>(text.size())};
}

// The reader made the hash of the current token as it read it.
std::uint32_t name_hash_of(const SourceReader& r, std::string_view name) {
  const bool whole = name.data() == r.current_token.data() && name.size() == r.current_token.size();
  return whole ? r.token_hash : name_hash(name);
}

int intern(Assembly& as, std::string_view name) {
  const int i = sym_intern(as.symtab, name, name_hash_of(as.reader, name));
  if (i == SYMTAB_FULL) report_error(as.reader, msg::TOO_MANY_SYMBOLS);
  return i;
}

}  // namespace vorn
