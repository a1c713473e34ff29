// Pass two: resolves the forward references and writes the object text, a script statement
// assigning one array of integers to `obj`.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vorn {

struct Assembly;

/// The object text of a completed pass one. Errors end the run in the second diagnostic format.
std::string run_pass2(Assembly& as, std::string_view object_path);

/// Stores the value of each fixup's symbol into field c of its word; a symbol still without a
/// value ends the run with its name and "undefine symbol".
void apply_fixups(Assembly& as);

/// Writes one line per code address from 0 to the code end - 1; a word without an output rule
/// ends the run with "undefine op".
void emit_code(Assembly& as, std::string& out);

/// The value of the data item at `item_pos`, then moves past it; "undefined symbol" when it
/// has none.
std::int32_t next_data_value(Assembly& as, int& item_pos);

/// True for the kinds that mark a section: KIND_CODE, KIND_DATA and KIND_END.
bool is_section_marker(std::int32_t kind);

/// Appends `text` and a newline to `out`.
void write_line(std::string& out, std::string_view text);

}  // namespace vorn
