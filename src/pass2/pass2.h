// Pass two: resolves the forward references and writes the object text, a script statement
// assigning one array of integers to `obj`.
#pragma once

#include <string>
#include <string_view>

namespace vorn {

struct Assembly;

/// The object text of a completed pass one. Errors end the run in the second diagnostic format.
std::string run_pass2(Assembly& as, std::string_view object_path);

}  // namespace vorn
