// The reader's own step, for its implementation, its tests and its benchmark only: the other
// stages take tokens with take_token, for which the end of the input is an error.
#pragma once

#include "source_reader/source_reader.h"

namespace vorn {

/// Takes the next token into `current_token`, upper-cased. Returns false at the end of the
/// input, leaving `current_token` as the last token taken.
bool next_token(SourceReader& r);

}  // namespace vorn
