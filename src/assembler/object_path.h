// The object path derived from the source path.
#pragma once

#include <string>
#include <string_view>

namespace vorn {

/// The source path cut at the first "." of its file-name part (the text after the last "/" or
/// "\"), followed by ".obj"; with no "." there, ".obj" appended to the whole path.
std::string make_object_path(std::string_view source_path);

}  // namespace vorn
