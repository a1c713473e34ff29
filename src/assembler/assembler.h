// One whole assembly, in-process: pass one over a source, then pass two, with a fresh state.
#pragma once

#include <string>
#include <string_view>

#include "source_reader/source_reader.h"
#include "state/listing.h"

namespace vorn {

struct RunResult {
  bool ok;             // true when both passes completed
  std::string output;  // what goes to standard output: empty, or the one diagnostic
  std::string object;  // the object text when `ok`
  Listing listing;     // when asked for: the rows and symbols when `ok`, else the error's line
};

/// Assembles the source that `read` gives in blocks (see ReadBlock); with `with_listing`, the
/// result holds the listing too.
RunResult assemble_stream(ReadBlock read, void* context, std::string_view object_path,
                          bool with_listing = false);

/// Assembles the source text `text`.
RunResult assemble_text(std::string_view text, std::string_view object_path,
                        bool with_listing = false);

}  // namespace vorn
