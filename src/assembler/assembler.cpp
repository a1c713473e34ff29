#include "assembler/assembler.h"

#include <memory>
#include <new>

#include "assembly/assembly.h"
#include "isa/isa.h"
#include "pass1/section_parser.h"
#include "pass2/pass2.h"

namespace vorn {

RunResult assemble(Assembly& as, std::string_view object_path) {
  try {
    load_predefined(as.symtab);
    as.reader.line_no = 0;
    as.data_loc = 0;
    run_pass1(as);
    std::string object = run_pass2(as, object_path);
    return {true, {}, std::move(object)};
  } catch (const AsmError& e) {
    return {false, e.text, {}};
  } catch (const std::bad_alloc&) {
    return {false, line_of(msg::MACHINE_OUT_OF_MEMORY), {}};
  }
}

RunResult assemble_text(std::string_view text, std::string_view object_path) {
  auto as = std::make_unique<Assembly>();
  reader_from_text(as->reader, text);
  return assemble(*as, object_path);
}

}  // namespace vorn
