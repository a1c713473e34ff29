// Pass one: reads the source from ".SYMBOL" to ".END", defining constants and labels, encoding
// instructions and recording the section origins and data items.
#pragma once

namespace vorn {

struct Assembly;

/// The whole of pass one over the reader of `as`, with the predefined names already loaded.
void run_pass1(Assembly& as);

/// symbol_section = ".SYMBOL" { name number }. Returns with ".CODE" as the current token.
void parse_symbol_section(Assembly& as);
/// code_section = ".CODE" number { label | instruction }. Returns with ".DATA" current.
void parse_code_section(Assembly& as);
/// data_section = ".DATA" number { number | name }. Returns with ".END" current.
void parse_data_section(Assembly& as);

}  // namespace vorn
