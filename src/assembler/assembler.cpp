#include "assembler/assembler.h"

#include <memory>
#include <new>

#include "isa/isa.h"
#include "pass1/pass1.h"
#include "pass2/pass2.h"
#include "state/state.h"
#include "symtab/symtab.h"

namespace vorn {

namespace {

// The program's own symbols, in the order the source defines them.
void list_symbols(const Assembly& as, Listing& listing) {
  for (const SourceMap::Definition& d : as.map->definitions) {
    listing.symbols.push_back({std::string(sym_name(as.symtab, d.symbol)), d.label,
                               sym_value(as.symtab, d.symbol), d.line});
  }
}

// The token a pass-one diagnostic names, on the line it shows; at the end of the input, that
// line alone.
Place pass_one_place(const Assembly& as) {
  return token_place(as.reader, as.reader.current_token);
}

// Every place a name of the program stands.
void list_uses(const Assembly& as, Listing& listing) {
  for (const SourceMap::Use& u : as.map->uses) {
    listing.uses.push_back({std::string(sym_name(as.symtab, u.symbol)), u.place, u.definition});
  }
}

// Runs both passes over the reader already set up in `as`, which is fresh.
RunResult assemble(Assembly& as, std::string_view object_path, bool with_listing) {
  RunResult result{false, {}, {}, {}};
  std::unique_ptr<SourceMap> map;
  int pass = 1;
  try {
    if (with_listing) {
      map = std::make_unique<SourceMap>();
      as.map = map.get();
    }
    load_predefined(as.symtab);
    run_pass1(as);
    pass = 2;
    result.object = run_pass2(as, object_path, with_listing ? &result.listing : nullptr);
    if (with_listing) list_symbols(as, result.listing);
    result.ok = true;
  } catch (const AsmError& e) {
    result.output = e.text;
  } catch (const std::bad_alloc&) {
    result.output = whole_line(msg::MACHINE_OUT_OF_MEMORY);
  }
  if (!result.ok) {
    result.listing = {};
    if (map != nullptr) result.listing.error = pass == 1 ? pass_one_place(as) : map->error;
  }
  if (map != nullptr) {
    try {
      list_uses(as, result.listing);
    } catch (const std::bad_alloc&) {
      result.listing.uses.clear();  // the run's own result stands; only the uses are left out
    }
  }
  as.map = nullptr;
  return result;
}

}  // namespace

RunResult assemble_stream(ReadBlock read, void* context, std::string_view object_path, bool with_listing) {
  auto as = new_assembly();
  reader_from_stream(as->reader, read, context);
  return assemble(*as, object_path, with_listing);
}

RunResult assemble_text(std::string_view text, std::string_view object_path, bool with_listing) {
  auto as = new_assembly();
  reader_from_text(as->reader, text);
  return assemble(*as, object_path, with_listing);
}

}  // namespace vorn
