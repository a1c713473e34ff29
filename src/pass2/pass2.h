// Pass two: resolves the forward references and writes the object text, a script statement
// assigning one array of integers to `obj`.
#pragma once

#include <string>
#include <string_view>

#include "state/listing.h"

namespace vorn {

struct Assembly;

/// The object text of a completed pass one. Errors end the run in the second diagnostic format.
/// With `listing` (and the run's source map), each code and data word is also listed there.
std::string run_pass2(Assembly& as, std::string_view object_path, Listing* listing = nullptr);

}  // namespace vorn
