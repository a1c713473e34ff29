// One whole assembly, in-process: pass one over a reader, then pass two.
#pragma once

#include <string>
#include <string_view>

#include "state/listing.h"

namespace vorn {

struct Assembly;

struct RunResult {
  bool ok;             // true when both passes completed
  std::string output;  // what goes to standard output: empty, or the one diagnostic
  std::string object;  // the object text when `ok`
  Listing listing;     // when asked for: the rows and symbols when `ok`, else the error's line
};

/// Runs both passes over the reader already set up in `as`, which must be fresh; with
/// `with_listing`, the result holds the listing too.
RunResult assemble(Assembly& as, std::string_view object_path, bool with_listing = false);

/// Assembles the source text `text` with a fresh state.
RunResult assemble_text(std::string_view text, std::string_view object_path,
                        bool with_listing = false);

}  // namespace vorn
