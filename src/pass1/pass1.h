// Pass one: reads the source from ".SYMBOL" to ".END", defining constants and labels, encoding
// instructions and recording the section origins and data items.
#pragma once

namespace vorn {

struct Assembly;

/// The whole of pass one over the reader of `as`, with the predefined names already loaded.
void run_pass1(Assembly& as);

}  // namespace vorn
